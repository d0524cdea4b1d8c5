# Project-wide build settings and helpers shared by every subsystem.
#
# Three builds use this tree:
#   native  - plain g++ with ASan/UBSan: the platform-free code and its unit tests
#   win64   - MinGW x86_64: everything; the Windows tests run under Wine
#   win32   - MinGW i686: everything; the Windows tests run under Wine's WoW64
#             in the same 64-bit prefix, as on a 64-bit Windows
include(CTest)

set(ZEL_ROOT ${CMAKE_SOURCE_DIR})

# The suite's version: one line "major.minor.build" in the VERSION file. It is
# stamped into every shipped binary (zel_version_resource) and is the MSI's
# ProductVersion. Three numbers, because Windows Installer compares only the
# first three fields of a product version when it decides on an upgrade.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ZEL_ROOT}/VERSION)
file(STRINGS ${ZEL_ROOT}/VERSION ZEL_VERSION LIMIT_COUNT 1)
if(NOT ZEL_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "VERSION must hold major.minor.build, not '${ZEL_VERSION}'")
endif()
set(ZEL_VERSION_MAJOR ${CMAKE_MATCH_1})
set(ZEL_VERSION_MINOR ${CMAKE_MATCH_2})
set(ZEL_VERSION_BUILD ${CMAKE_MATCH_3})
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)

if(WIN32)
  set(ZEL_WINDOWS ON)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wno-cast-function-type)
else()
  set(ZEL_WINDOWS OFF)
  option(ZEL_SANITIZE "Build the native code with ASan and UBSan" ON)
  add_compile_options(-Wall -Wextra -Wno-unused-parameter)
  if(ZEL_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
  endif()
endif()

# GoogleTest from Debian's source package, built with this build's compiler and flags.
set(ZEL_GTEST_SRC /usr/src/googletest CACHE PATH "GoogleTest sources")
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${ZEL_GTEST_SRC} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)

# zel_test(NAME <target> SOURCES ... LIBS ... [WINE] [TIMEOUT s] [LABELS ...])
# Builds a GoogleTest program and registers it with CTest. A run passes only
# when GoogleTest's own summary says so: a program that crashes and still
# exits 0 (as Wine sometimes lets it) fails.
function(zel_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [0-9]+ test"
    FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]"
    LABELS "${T_LABELS}")
endfunction()

# zel_script_test(NAME <name> COMMAND ... [TIMEOUT s]): a test driven by a
# script (service control, end-to-end runs). It must print "N passed, 0 failed".
function(zel_script_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "COMMAND;LABELS" ${ARGN})
  if(NOT ZEL_WINDOWS)
    return()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
  set_tests_properties(${T_NAME} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    PASS_REGULAR_EXPRESSION "[0-9]+ passed, 0 failed"
    LABELS "${T_LABELS}")
endfunction()

# zel_version_resource(<target> FILE <name> DESCRIPTION <text> [PRODUCT <name>]):
# gives a shipped program or library its version information from the
# VERSION file. The product name is the suite's, "Corvane", unless given.
function(zel_version_resource target)
  cmake_parse_arguments(V "" "FILE;DESCRIPTION;PRODUCT" "" ${ARGN})
  if(NOT ZEL_WINDOWS)
    return()
  endif()
  enable_language(RC)
  get_target_property(kind ${target} TYPE)
  if(kind STREQUAL "SHARED_LIBRARY")
    set(rc_file_type VFT_DLL)
  else()
    set(rc_file_type VFT_APP)
  endif()
  set(rc_description "${V_DESCRIPTION}")
  set(rc_file_name "${V_FILE}")
  set(rc_product "Corvane")
  if(V_PRODUCT)
    set(rc_product "${V_PRODUCT}")
  endif()
  get_filename_component(rc_internal_name "${V_FILE}" NAME_WE)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${ZEL_ROOT}/cmake/zel_version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

# zel_separate_debug_info(<target>...): for the programs and libraries that
# ship. Their debug information moves to <file>.debug beside them, which
# debuggers find through the debug link left in the file. A loader maps every
# section of an image, and Wine reads an image of the MinGW linker (sections
# not page-aligned in the file) whole into private memory, debug sections
# included, so debug information inside the file costs every running copy.
function(zel_separate_debug_info)
  if(NOT ZEL_WINDOWS)
    return()
  endif()
  foreach(target IN LISTS ARGN)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.debug
      COMMAND ${CMAKE_OBJCOPY} --strip-debug --add-gnu-debuglink=$<TARGET_FILE:${target}>.debug
              $<TARGET_FILE:${target}>
      VERBATIM)
  endforeach()
endfunction()

# zel_delay_import(<target> <library>): the target loads <library>.dll at its
# first call into it instead of at start. A program that needs a library only
# for work it may never do (drawing a picture, say) then neither maps it nor
# keeps its touched pages while it waits. A delay-import library, made from
# the toolchain's import library (every function it names), is linked ahead
# of the usual one, which is then left unused.
function(zel_delay_import target library)
  if(NOT ZEL_WINDOWS)
    return()
  endif()
  find_library(ZEL_IMPORT_LIB_${library} ${library} REQUIRED)
  set(def ${CMAKE_CURRENT_BINARY_DIR}/${library}_delay.def)
  set(delaylib ${CMAKE_CURRENT_BINARY_DIR}/lib${library}_delay.a)
  set(underscore OFF)
  set(kill_at "")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # i686: C names carry an underscore, and the DLL exports stdcall
    # functions without their "@bytes" suffix.
    set(underscore ON)
    set(kill_at --kill-at)
  endif()
  add_custom_command(OUTPUT ${delaylib}
    COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DIMPORT_LIB=${ZEL_IMPORT_LIB_${library}} -DDLL=${library}.dll
            -DDEF=${def} -DUNDERSCORE=${underscore} -P ${ZEL_ROOT}/cmake/zel_delay_def.cmake
    COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --dllname ${library}.dll ${kill_at} --output-delaylib ${delaylib}
    DEPENDS ${ZEL_ROOT}/cmake/zel_delay_def.cmake
    COMMENT "Making the delay-import library of ${library}.dll"
    VERBATIM)
  add_custom_target(${target}_${library}_delay DEPENDS ${delaylib})
  add_dependencies(${target} ${target}_${library}_delay)
  target_link_libraries(${target} PRIVATE ${delaylib})
endfunction()
