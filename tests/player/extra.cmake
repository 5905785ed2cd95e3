# The listening tests read rendered WAV files with libsndfile and run the built tools.
find_package(PkgConfig REQUIRED)
pkg_check_modules(PLAYER_TEST_SNDFILE REQUIRED IMPORTED_TARGET sndfile)
target_link_libraries(test_player PRIVATE PkgConfig::PLAYER_TEST_SNDFILE)
if(TARGET bleepforge-cli AND TARGET make_demo)
  add_dependencies(test_player bleepforge-cli make_demo)
endif()
