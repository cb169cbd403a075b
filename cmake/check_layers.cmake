cmake_minimum_required(VERSION 3.25)
# Fails when a file of src/ includes a header of a folder above its own in LAYERS (the order
# src/CMakeLists.txt gives, lowest first), and when a process-wide instance (a shared(), the
# standard or group settings, the system clock or workspace) is reached from anywhere but the
# composition root (ROOT_FILES): a forgotten collaborator must fail to build rather than
# silently become the real settings, the real Avahi or the real clock.
foreach(var SOURCE_DIR LAYERS ROOT_FILES)
  if(NOT ${var})
    message(FATAL_ERROR "check_layers: ${var} is not set")
  endif()
endforeach()

set(_stand_in_regex "Defaults::(standard|group)\\(\\)|Clock::system\\(\\)|Workspace::system\\(\\)")
set(_shared_regex "(^|[^A-Za-z0-9_.>])shared\\(\\)")
set(_global_regex "${_shared_regex}|${_stand_in_regex}")
set(_definers platform/clock.cpp platform/defaults.cpp platform/workspace.cpp)

set(_found)
foreach(_layer IN LISTS LAYERS)
  list(FIND LAYERS "${_layer}" _rank)
  file(GLOB_RECURSE _files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${_layer}/*.h ${SOURCE_DIR}/${_layer}/*.cpp)
  foreach(_file IN LISTS _files)
    file(STRINGS "${SOURCE_DIR}/${_file}" _includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[a-z_]+/")
    foreach(_line IN LISTS _includes)
      string(REGEX MATCH "\"([a-z_]+)/" _ "${_line}")
      list(FIND LAYERS "${CMAKE_MATCH_1}" _target)
      if(_target GREATER _rank)
        list(APPEND _found "${_file} (${_layer}) includes a folder above it: ${_line}")
      endif()
    endforeach()
    if(NOT "${_file}" IN_LIST ROOT_FILES)
      file(STRINGS "${SOURCE_DIR}/${_file}" _shared REGEX "${_global_regex}")
      foreach(_line IN LISTS _shared)
        # The stand-ins' own files make the process-wide one each function returns.
        if("${_file}" IN_LIST _definers AND NOT _line MATCHES "${_shared_regex}")
          continue()
        endif()
        list(APPEND _found "${_file} reaches a process-wide instance outside the composition root: ${_line}")
      endforeach()
    endif()
  endforeach()
endforeach()

file(GLOB _folders RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
foreach(_folder IN LISTS _folders)
  if(IS_DIRECTORY "${SOURCE_DIR}/${_folder}" AND NOT "${_folder}" IN_LIST LAYERS)
    list(APPEND _found "src/${_folder} has no place in the layer order of src/CMakeLists.txt")
  endif()
endforeach()

if(_found)
  list(JOIN _found "\n  " _text)
  message(FATAL_ERROR "Layer check failed:\n  ${_text}")
endif()
