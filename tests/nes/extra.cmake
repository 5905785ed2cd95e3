# The ROM tests convert songs and listen to the result with the NSF tests' tools.
target_sources(test_nes PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../nsf/Listening.cpp)
target_link_libraries(test_nes PRIVATE bf_export)
find_package(PkgConfig REQUIRED)
pkg_check_modules(GME REQUIRED IMPORTED_TARGET libgme)
target_link_libraries(test_nes PRIVATE PkgConfig::GME)
