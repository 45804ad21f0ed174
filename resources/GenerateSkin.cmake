# Draws the skin, or takes it from the cache. Run by the build (cmake -P):
#
#   SOURCE_DIR     root of the source tree
#   OUT_DIR        where this build tree wants the skin
#   MODE           linux (embedded data) or windows (resource script)
#   CACHE_DIR      drawn skins by content hash, shared between build trees
#   GEN_BUILD_DIR  where to build the generator when it must run
#   GENERATOR      CMake generator for that build
#   INPUTS_FILE    every file the generator reads, one per line
#   FONT_DIR       the Liberation fonts
#   LAUNCHER       compiler launcher (ccache), may be empty
#
# The key of a cache entry is the hash of the inputs' contents (paths inside
# the source tree relative to it), so two checkouts of the same sources and
# the five build trees of build.sh share one entry. The generator is a
# program of the build machine: it is configured here with the host's own
# compiler, whatever toolchain the calling build uses.
cmake_minimum_required(VERSION 3.20)

foreach(var SOURCE_DIR OUT_DIR MODE CACHE_DIR GEN_BUILD_DIR GENERATOR INPUTS_FILE FONT_DIR)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "GenerateSkin.cmake: ${var} is not set")
  endif()
endforeach()

file(STRINGS ${INPUTS_FILE} inputs)
set(manifest "")
foreach(input IN LISTS inputs)
  if(NOT EXISTS ${input})
    message(FATAL_ERROR "Skin input ${input} is missing")
  endif()
  file(SHA256 ${input} hash)
  file(RELATIVE_PATH rel ${SOURCE_DIR} ${input})
  if(rel MATCHES "^\\.\\./")
    set(rel ${input})
  endif()
  string(APPEND manifest "${rel} ${hash}\n")
endforeach()
string(SHA256 key "${manifest}")
string(SUBSTRING ${key} 0 20 key)

# A cache folder we cannot write (a read-only parent of the build tree)
# falls back to one inside this build tree.
string(RANDOM LENGTH 8 nonce)
execute_process(COMMAND ${CMAKE_COMMAND} -E make_directory ${CACHE_DIR} RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
if(rc EQUAL 0)
  execute_process(COMMAND ${CMAKE_COMMAND} -E touch ${CACHE_DIR}/.probe-${nonce} RESULT_VARIABLE rc
                  OUTPUT_QUIET ERROR_QUIET)
  file(REMOVE ${CACHE_DIR}/.probe-${nonce})
endif()
if(NOT rc EQUAL 0)
  set(CACHE_DIR ${GEN_BUILD_DIR}/cache)
  file(MAKE_DIRECTORY ${CACHE_DIR})
endif()
set(entry ${CACHE_DIR}/${key})

if(NOT EXISTS ${entry}/complete)
  message(STATUS "Skin ${key} is not in the cache: building and running the generator")
  set(launcher_arg "")
  if(LAUNCHER)
    set(launcher_arg -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER})
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=CC --unset=CXX --unset=CFLAGS --unset=CXXFLAGS --unset=LDFLAGS
            --unset=CMAKE_TOOLCHAIN_FILE
            ${CMAKE_COMMAND} -S ${SOURCE_DIR}/resources/generator -B ${GEN_BUILD_DIR} -G ${GENERATOR}
            -DCMAKE_BUILD_TYPE=Release -DAMBREL_SOURCE_DIR=${SOURCE_DIR} ${launcher_arg}
    RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "Configuring the skin generator failed:\n${log}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${GEN_BUILD_DIR} RESULT_VARIABLE rc OUTPUT_VARIABLE log
                  ERROR_VARIABLE log)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "Building the skin generator failed:\n${log}")
  endif()

  # Draw into a directory of our own, then move it into place in one step;
  # a build tree drawing the same key at the same time keeps its own.
  set(work ${CACHE_DIR}/.${key}-${nonce})
  file(REMOVE_RECURSE ${work})
  file(MAKE_DIRECTORY ${work})
  file(WRITE ${work}/inputs.txt "${manifest}")
  execute_process(COMMAND ${GEN_BUILD_DIR}/ambrel-skin-generator --out ${work} --fonts ${FONT_DIR}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
  if(NOT rc EQUAL 0)
    file(REMOVE_RECURSE ${work})
    message(FATAL_ERROR "The skin generator failed:\n${log}")
  endif()
  file(WRITE ${work}/generator.log "${log}")
  file(TOUCH ${work}/complete)
  if(EXISTS ${entry}/complete)
    file(REMOVE_RECURSE ${work})
  else()
    file(REMOVE_RECURSE ${entry})
    file(RENAME ${work} ${entry} RESULT rename_result)
    if(NOT rename_result STREQUAL "0")
      file(REMOVE_RECURSE ${work})
    endif()
  endif()

  # Keep the four newest entries.
  file(GLOB entries LIST_DIRECTORIES true ${CACHE_DIR}/*)
  set(dated "")
  foreach(e IN LISTS entries)
    if(IS_DIRECTORY ${e} AND EXISTS ${e}/complete)
      file(TIMESTAMP ${e}/complete t "%Y%m%d%H%M%S")
      list(APPEND dated "${t}|${e}")
    endif()
  endforeach()
  list(SORT dated ORDER DESCENDING)
  list(LENGTH dated count)
  if(count GREATER 4)
    list(SUBLIST dated 4 -1 old)
    foreach(item IN LISTS old)
      string(REGEX REPLACE "^[0-9]+\\|" "" path "${item}")
      file(REMOVE_RECURSE ${path})
    endforeach()
  endif()
else()
  # Mark it used, for the pruning above.
  file(TOUCH ${entry}/complete)
endif()

# Hand this build tree its part. configure_file and copy_if_different leave
# files that did not change alone, so nothing recompiles needlessly. The
# pack and the manifest go to both kinds of tree: the tests read them.
file(MAKE_DIRECTORY ${OUT_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${entry}/skin2x.pack ${entry}/manifest.txt ${OUT_DIR}/
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "Cannot copy the skin to ${OUT_DIR}")
endif()
if(MODE STREQUAL "windows")
  file(MAKE_DIRECTORY ${OUT_DIR}/bmp)
  file(GLOB bitmaps ${entry}/bmp/*.bmp)
  execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${bitmaps} ${OUT_DIR}/bmp/ RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "Cannot copy the skin bitmaps to ${OUT_DIR}")
  endif()
  set(AMBREL_SKIN_BMP_DIR ${OUT_DIR}/bmp)
  set(AMBREL_SKIN_PACK ${OUT_DIR}/skin2x.pack)
  configure_file(${entry}/skin.rc.in ${OUT_DIR}/skin.rc @ONLY)
else()
  execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${entry}/skin.bin ${OUT_DIR}/ RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "Cannot copy the skin to ${OUT_DIR}")
  endif()
  set(AMBREL_SKIN_BLOB ${OUT_DIR}/skin.bin)
  configure_file(${entry}/SkinData.cpp.in ${OUT_DIR}/SkinData.cpp @ONLY)
endif()
file(TOUCH ${OUT_DIR}/skin.stamp)
