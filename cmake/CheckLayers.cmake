# Fails when a file of one of our folders includes a header of a folder above its own, or when
# anything below ui/ includes a Qt Widgets header. Run by every build (the layer_check target):
#   cmake -DSOURCE_DIR=<top of the tree> -P CheckLayers.cmake
cmake_minimum_required(VERSION 3.25)

# What each folder may include, its own folder first. app/, tests/, bench/ and fuzz/ may
# include anything.
set(may_platform platform)
set(may_protocol protocol platform)
set(may_infra infra platform)
set(may_core core protocol infra platform)
set(may_audio audio protocol infra platform)
set(may_video video protocol infra platform)
set(may_media media video protocol infra platform)
set(may_hall hall core protocol infra platform)
set(may_room room core audio media video protocol infra platform)
set(may_server server protocol platform)
set(may_ui ui hall room core audio media video protocol infra platform)
set(layers platform protocol infra core audio video media hall room server ui)

set(faults "")
foreach(layer IN LISTS layers)
  file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.cpp)
  foreach(file IN LISTS files)
    file(STRINGS ${SOURCE_DIR}/${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line IN LISTS lines)
      string(STRIP "${line}" line)
      if(line MATCHES "include[ \t]*\"([^/\"]+)/")
        set(folder ${CMAKE_MATCH_1})
        if(NOT folder IN_LIST may_${layer})
          list(JOIN may_${layer} "/ " allowed)
          string(APPEND faults "  ${file}: ${line}\n    ${layer}/ may include only ${allowed}/\n")
        endif()
      elseif(NOT layer STREQUAL "ui" AND line MATCHES "<QtWidgets[/>]")
        string(APPEND faults "  ${file}: ${line}\n    only ui/ may use Qt Widgets\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "Includes that point up the layers:\n${faults}")
endif()
