# libgme plays the exported files as an independent NSF player.
find_package(PkgConfig REQUIRED)
pkg_check_modules(GME REQUIRED IMPORTED_TARGET libgme)
target_link_libraries(test_nsf PRIVATE PkgConfig::GME)
# The WAV files that bleepforge-cli renders are read back with libsndfile.
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
target_link_libraries(test_nsf PRIVATE PkgConfig::SNDFILE)
