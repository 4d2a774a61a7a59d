# Debian packages (cpack -G DEB in a build configured with -DCMAKE_INSTALL_PREFIX=/usr):
#   tavo          the desktop client and the console client, their pages and pictures
#   tavo-serverd  the service, its systemd unit and its configuration
# Dependencies come from the shared libraries the programs link (dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavo)
set(CPACK_PACKAGE_VENDOR "The Tavo developers")
set(CPACK_PACKAGE_CONTACT "${TAVO_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL client service)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TAVO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TAVO_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME tavo)
# The desktop client draws through a Qt platform plugin and plays through a sound server; the
# camera, the recorder and the file player are GStreamer elements of the base and good sets,
# which no shared library dependency names.
set(CPACK_DEBIAN_CLIENT_PACKAGE_DEPENDS
    "qt6-qpa-plugins, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good")
set(CPACK_DEBIAN_CLIENT_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse")
set(CPACK_COMPONENT_CLIENT_DESCRIPTION "voice and video chat rooms, desktop and console clients
Tavo is the desktop client of a voice and video chat-room service: enter a
room from the hall, chat in public or in private, queue for the microphone
and speak to the room, or watch the members' cameras.
.
The package also carries tavo-cli, a console client on the same core for
terminals, scripts and bots.")

set(CPACK_DEBIAN_SERVICE_PACKAGE_NAME tavo-serverd)
set(CPACK_DEBIAN_SERVICE_PACKAGE_DEPENDS "init-system-helpers (>= 1.54~)")
set(CPACK_COMPONENT_SERVICE_DESCRIPTION "voice and video chat rooms, the service
tavo-serverd runs the whole chat-room service the Tavo clients talk to: the
server-information host, the hall, the room servers and the web side, with
its data in SQLite. It runs as a systemd service under a user of its own,
with its database in /var/lib/tavo and its settings in
/etc/tavo/tavo-serverd.ini.")
# The settings file is the administrator's: an upgrade keeps the changes made to it.
file(WRITE ${CMAKE_BINARY_DIR}/deb-service/conffiles "/etc/tavo/tavo-serverd.ini\n")
set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_EXTRA
    ${CMAKE_BINARY_DIR}/deb-service/conffiles ${CMAKE_SOURCE_DIR}/res/linux/postinst
    ${CMAKE_SOURCE_DIR}/res/linux/prerm ${CMAKE_SOURCE_DIR}/res/linux/postrm)
set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
