#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, test and run.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
export DEBIAN_FRONTEND=noninteractive

packages=(
  # toolchain
  build-essential cmake ninja-build ccache pkg-config clang clang-tidy clang-format
  libclang-rt-14-dev lldb
  # Qt 6
  qt6-base-dev qt6-base-dev-tools qt6-httpserver-dev qt6-websockets-dev libqt6sql6-sqlite
  libgl-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # HTML parsing of received chat fragments
  libgumbo-dev
  # crypto, storage
  libcrypto++-dev libcrypto++-utils libsqlite3-dev
  # PostgreSQL: the client library, and a server the store tests start for themselves
  libpq-dev postgresql
  # audio
  libmp3lame-dev libmpg123-dev libbcg729-dev libpulse-dev libfftw3-dev
  pulseaudio pulseaudio-utils sox mpg123 ffmpeg
  libsndfile1-dev libsamplerate0-dev espeak-ng
  # video: the camera through GStreamer, H.264 with libx264 and libavcodec, scaling
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-plugins-base
  gstreamer1.0-plugins-good gstreamer1.0-tools libx264-dev libavcodec-dev libavutil-dev
  libswscale-dev
  # recording: AVI files through libavformat; ffprobe (in ffmpeg) checks them
  libavformat-dev
  # crash capture
  libunwind-dev libdw-dev
  # resources and screenshots
  opencc imagemagick fonts-noto-cjk fonts-dejavu-core xvfb xauth xdotool openbox
  # manual pages, the desktop files' and the packages' checks
  help2man desktop-file-utils appstream lintian
  # the console client's line editing; the notification test's private session bus
  libreadline-dev dbus-daemon
)

$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${packages[@]}"
