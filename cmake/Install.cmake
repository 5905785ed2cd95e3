# What `cmake --install` puts under the prefix, and the Debian package CPack builds from the same
# rules (`cpack -G DEB` in the build folder). The data files live in dist/.

set(BF_DIST ${PROJECT_SOURCE_DIR}/dist)
set(BF_DIST_OUT ${PROJECT_BINARY_DIR}/dist)
file(MAKE_DIRECTORY ${BF_DIST_OUT})

if(TARGET bleepforge)
  install(TARGETS bleepforge RUNTIME DESTINATION bin)
  install(FILES ${BF_DIST}/bleepforge.desktop DESTINATION share/applications)

  # The icon theme's sizes, scaled from the built-in icon that the asset step draws.
  add_executable(bf_make_icons ${BF_DIST}/make_icons.cpp)
  target_include_directories(bf_make_icons PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(bf_make_icons PRIVATE -Wall -Wextra)
  set(BF_ICON_SIZES 16 32 64 128 256)
  set(icons)
  foreach(n ${BF_ICON_SIZES})
    list(APPEND icons ${BF_DIST_OUT}/icons/${n}x${n}.png)
  endforeach()
  add_custom_command(
    OUTPUT ${icons}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${BF_DIST_OUT}/icons
    COMMAND bf_make_icons ${PROJECT_BINARY_DIR}/generated/assets/icon.png ${BF_DIST_OUT}/icons
    DEPENDS bf_make_icons bf_assets ${PROJECT_BINARY_DIR}/generated/assets/icon.png
    COMMENT "Scaling the icon for the icon theme")
  add_custom_target(bf_icons ALL DEPENDS ${icons})
  foreach(n ${BF_ICON_SIZES})
    install(FILES ${BF_DIST_OUT}/icons/${n}x${n}.png DESTINATION share/icons/hicolor/${n}x${n}/apps
            RENAME bleepforge.png)
  endforeach()
endif()

if(TARGET bleepforge-cli)
  install(TARGETS bleepforge-cli RUNTIME DESTINATION bin)
  install(FILES ${BF_DIST}/bleepforge-cli.bash DESTINATION share/bash-completion/completions
          RENAME bleepforge-cli)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/examples/demo.zcm ${PROJECT_SOURCE_DIR}/examples/example.zcm
              ${PROJECT_SOURCE_DIR}/examples/example.zci
        DESTINATION share/bleepforge/examples)
install(FILES ${BF_DIST}/bleepforge.xml DESTINATION share/mime/packages)
# The game driver's source, for NES programs that play the converter's output.
install(FILES ${PROJECT_SOURCE_DIR}/driver/game_driver.s ${PROJECT_SOURCE_DIR}/driver/game_periods.inc
              ${PROJECT_SOURCE_DIR}/driver/game_calls.inc
        DESTINATION share/bleepforge/driver)

# Manual pages carry the project's version and are installed compressed, as Debian keeps them.
find_program(BF_GZIP gzip REQUIRED)
set(pages)
foreach(page bleepforge bleepforge-cli)
  set(VERSION ${PROJECT_VERSION})
  configure_file(${BF_DIST}/${page}.1 ${BF_DIST_OUT}/${page}.1 @ONLY)
  add_custom_command(
    OUTPUT ${BF_DIST_OUT}/${page}.1.gz
    COMMAND ${BF_GZIP} -9nc ${BF_DIST_OUT}/${page}.1 > ${BF_DIST_OUT}/${page}.1.gz
    DEPENDS ${BF_DIST_OUT}/${page}.1
    COMMENT "Compressing the manual page ${page}.1")
  list(APPEND pages ${BF_DIST_OUT}/${page}.1.gz)
endforeach()
add_custom_target(bf_man_pages ALL DEPENDS ${pages})
install(FILES ${pages} DESTINATION share/man/man1)

# The checks of what is installed and packaged (after the programs and pages are built).
if(NOT BF_FUZZ AND TARGET bleepforge AND TARGET bleepforge-cli)
  add_test(NAME install_and_package
           COMMAND bash ${BF_DIST}/check_install.sh ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR})
  set_tests_properties(install_and_package PROPERTIES RUN_SERIAL TRUE)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME bleepforge)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keyboard-driven music tracker for the 2A03 sound chip")
set(CPACK_PACKAGE_DESCRIPTION "Bleepforge composes music for the NES/Famicom sound chip from the keyboard,\nplays it through an emulation of the chip and exports NSF files, FamiTone text and\nassembler source for a NES sound driver. bleepforge-cli renders and exports songs\nwithout a window.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Bleepforge maintainers <maintainers@bleepforge.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The file types are known to the desktop once shared-mime-info has built its database.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS shared-mime-info)
include(CPack)
