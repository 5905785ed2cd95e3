# Sample import decodes sound files through libsndfile.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
target_link_libraries(bf_song PUBLIC PkgConfig::SNDFILE)
