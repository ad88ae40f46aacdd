# The Windows compile check: a test that compiles every product source as if
# for Windows, with Debian's mingw-w64 cross compiler and syntax only, against
# the same SFML and nlohmann::json headers as the real build. No Windows
# libraries are needed. A call that exists only on X11 or POSIX systems fails
# it, because the compiler sees Windows' system headers and, of the host's,
# only those named in ORVALEN_FOREIGN_HEADERS.
#
# orvalen_add_windows_check(TARGETS <target>...) reads each target's sources,
# include folders and definitions when the build is generated, so a source
# added to one of them is checked with no change here. The sources in
# ORVALEN_X11_SOURCES are swapped for ORVALEN_PORTABLE_SOURCES, as a Windows
# build does. A source under src/ that belongs to none of the targets fails
# the check rather than going unchecked.

# NOTE: the posix thread model first: GCC 12's win32 model has no std::thread
find_program(ORVALEN_MINGW_CXX NAMES x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-g++
  DOC "mingw-w64's C++ compiler for 64-bit Windows, used by the Windows compile check")
if(NOT ORVALEN_MINGW_CXX)
  message(STATUS "x86_64-w64-mingw32-g++ not found: the Windows compile check will fail "
                 "(apt-get install g++-mingw-w64-x86-64, or -DORVALEN_CHECK_WINDOWS=OFF)")
endif()

function(orvalen_add_windows_check)
  cmake_parse_arguments(PARSE_ARGV 0 check "" "" "TARGETS")
  set(dir ${PROJECT_BINARY_DIR}/windows-check)
  set(content "")
  string(APPEND content
    "set(compiler \"${ORVALEN_MINGW_CXX}\")\n"
    "set(work_dir \"${dir}\")\n"
    "set(product_root \"${PROJECT_SOURCE_DIR}/src\")\n"
    "set(own_dirs \"${PROJECT_SOURCE_DIR};${PROJECT_BINARY_DIR}\")\n"
    "set(foreign_headers \"${ORVALEN_FOREIGN_HEADERS}\")\n"
    "set(host_header_dirs \"${CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES}\")\n"
    "set(not_for_windows \"${ORVALEN_X11_SOURCES}\")\n"
    "set(for_windows \"${ORVALEN_PORTABLE_SOURCES}\")\n"
    "set(targets \"${check_TARGETS}\")\n")
  foreach(target IN LISTS check_TARGETS)
    get_target_property(source_dir ${target} SOURCE_DIR)
    string(APPEND content
      "set(\"${target}_dir\" \"${source_dir}\")\n"
      "set(\"${target}_sources\" \"$<TARGET_PROPERTY:${target},SOURCES>\")\n"
      "set(\"${target}_includes\" \"$<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>\")\n"
      "set(\"${target}_definitions\" \"$<TARGET_PROPERTY:${target},COMPILE_DEFINITIONS>\")\n")
  endforeach()
  file(GENERATE OUTPUT ${dir}/check-$<CONFIG>.cmake CONTENT "${content}")

  add_test(NAME windows_compile_check
    COMMAND ${CMAKE_COMMAND} -D CHECK_CONFIG=${dir}/check-$<CONFIG>.cmake
            -P ${PROJECT_SOURCE_DIR}/cmake/WindowsCompileCheck.cmake)
  set_tests_properties(windows_compile_check PROPERTIES TIMEOUT 900 LABELS portability)
endfunction()
