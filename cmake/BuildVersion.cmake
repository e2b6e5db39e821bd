# Writes the header that names the program's version: the project version and, when the
# source folder is a git checkout, its commit ("-dirty" with uncommitted changes). Run at
# every build (cmake -P) with SOURCE_DIR, OUTPUT and VERSION set; the header is rewritten
# only when its text changes, so an unchanged commit rebuilds nothing.
set(commit "")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${SOURCE_DIR}/.git")
  execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" describe --always --dirty --abbrev=12 --exclude=*
                  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
  if(failed)
    set(commit "")
  endif()
endif()
set(text "// Written by cmake/BuildVersion.cmake at build time.\n#define HVK32_BUILD_VERSION \"${VERSION}\"\n#define HVK32_BUILD_COMMIT \"${commit}\"\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
else()
  set(old "")
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
