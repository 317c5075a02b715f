# Compile options shared by every project target (never applied to third-party code).
add_library(project_options INTERFACE)
target_compile_features(project_options INTERFACE cxx_std_20)

if(MSVC)
  target_compile_options(project_options INTERFACE /W4 /permissive- /utf-8)
  if(COPPERFOLD_WERROR)
    target_compile_options(project_options INTERFACE /WX)
  endif()
else()
  target_compile_options(project_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    -Wcast-qual -Wformat=2 -Wimplicit-fallthrough)
  if(COPPERFOLD_WERROR)
    target_compile_options(project_options INTERFACE -Werror)
  endif()
endif()

if(WIN32)
  # Unicode Win32 throughout; a static runtime so the binaries need no extra DLLs.
  target_compile_definitions(project_options INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  if(NOT MSVC)
    target_link_options(project_options INTERFACE -static -static-libgcc -static-libstdc++)
  endif()
endif()

if(COPPERFOLD_SANITIZE)
  set(sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(project_options INTERFACE ${sanitize_flags})
  target_link_options(project_options INTERFACE ${sanitize_flags})
endif()

# Fuzz targets need clang's libFuzzer; they exist only in the host build.
set(COPPERFOLD_FUZZ OFF)
if(NOT WIN32 AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(COPPERFOLD_FUZZ ON)
endif()

# add_project_test(name SOURCES ... LIBS ...): one test executable, run once by CTest.
function(add_project_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE project_options gtest gtest_main ${T_LIBS})
  if(WIN32)
    add_wine_test(${name})
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
endfunction()

# Code that runs under the fuzzer is built with -O1, as libFuzzer advises with the sanitizers:
# at -O0 every inline library helper is a function of its own with its own coverage counters,
# all of which the fuzzer scans after every input; the sanitizers check the same at -O1.
set(fuzz_optimization -O1)

# add_fuzzing_copy(name SOURCES ... LIBS ...): a static library of core sources built with
# coverage instrumentation for the fuzz targets (host only).
function(add_fuzzing_copy name)
  cmake_parse_arguments(C "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT COPPERFOLD_FUZZ)
    return()
  endif()
  add_library(${name} STATIC ${C_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${C_LIBS} project_options)
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer-no-link ${fuzz_optimization})
endfunction()

# add_fuzz_target(name SOURCES ... LIBS ... CORPUS dir)
function(add_fuzz_target name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT COPPERFOLD_FUZZ)
    return()
  endif()
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE project_options ${F_LIBS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer ${fuzz_optimization})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  # Replays the seed corpus once; the bounded fuzzing run lives in tools/fuzz.sh.
  add_test(NAME ${name}_corpus COMMAND ${name} -runs=0 ${F_CORPUS})
endfunction()
