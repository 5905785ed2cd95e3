# Shared build settings and the helper that turns a source folder into a library.

set(BF_WARNINGS -Wall -Wextra -Wpedantic)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  # GCC 12 reports impossible overlaps inside std::string's operator+ at -O3 (a known false
  # positive of its -Wrestrict), which -Werror would turn into a failed Release build.
  list(APPEND BF_WARNINGS -Wno-restrict)
endif()
if(BF_WERROR)
  list(APPEND BF_WARNINGS -Werror)
endif()

set(BF_SAN_FLAGS "")
if(BF_SANITIZE)
  set(BF_SAN_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(BF_TSAN)
  set(BF_SAN_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
endif()
if(BF_FUZZ)
  # Core code is instrumented for coverage; each fuzz target links the fuzzer's main.
  set(BF_SAN_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  # The 6502 core's instruction loop runs tens of thousands of times for each input, and tracing
  # its comparisons only tells the fuzzer about the emulated program's own arithmetic: edge
  # coverage stays, the comparison hooks go (the console target runs about half again as fast).
  set_source_files_properties(${PROJECT_SOURCE_DIR}/nes/Cpu6502.cpp PROPERTIES COMPILE_OPTIONS
    -fno-sanitize-coverage=trace-cmp)
endif()
add_compile_options(${BF_SAN_FLAGS})
add_link_options(${BF_SAN_FLAGS})

# Every target gets the repository root on its include path, so headers are named by folder:
# #include "song/Song.h".
function(bf_target_defaults target)
  target_compile_options(${target} PRIVATE ${BF_WARNINGS})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
endfunction()

# bf_add_subsystem(name deps...): library bf_<name> from every .cpp in <name>/ (not recursive).
# A folder with no sources yet gives an interface library, so dependents still configure.
function(bf_add_subsystem name)
  file(GLOB srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${name}/*.cpp)
  set(deps "")
  foreach(d ${ARGN})
    list(APPEND deps bf_${d})
  endforeach()
  if(srcs)
    add_library(bf_${name} STATIC ${srcs})
    bf_target_defaults(bf_${name})
    target_link_libraries(bf_${name} PUBLIC ${deps})
  else()
    add_library(bf_${name} INTERFACE)
    target_include_directories(bf_${name} INTERFACE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
    target_link_libraries(bf_${name} INTERFACE ${deps})
  endif()
  # Extra per-folder settings (libraries, generated sources) live in <name>/extra.cmake.
  if(EXISTS ${PROJECT_SOURCE_DIR}/${name}/extra.cmake)
    include(${PROJECT_SOURCE_DIR}/${name}/extra.cmake)
  endif()
endfunction()

# The whole core, for tools and tests that use several subsystems.
set(BF_CORE_LIBS bf_app bf_export bf_nes bf_player bf_config bf_apu bf_song)
