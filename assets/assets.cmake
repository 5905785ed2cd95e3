# The built-in pictures: make_assets draws them (the font from Unifont's glyph file) and writes a
# C++ source holding the PNG bytes, compiled into bf_assets. Included by platform/CMakeLists.txt.

set(BF_UNIFONT_HEX /usr/share/unifont/unifont.hex CACHE FILEPATH "Unifont glyph file (package unifont)")
if(NOT EXISTS ${BF_UNIFONT_HEX})
  message(FATAL_ERROR "Unifont glyphs not found at ${BF_UNIFONT_HEX}; run scripts/deps.sh")
endif()

add_executable(bf_make_assets ${PROJECT_SOURCE_DIR}/assets/make_assets.cpp)
target_include_directories(bf_make_assets PRIVATE ${PROJECT_SOURCE_DIR})
# stb_image_write is a third-party header; keep our own warnings strict but not its.
target_compile_options(bf_make_assets PRIVATE -Wall -Wextra)

set(BF_ASSET_DIR ${PROJECT_BINARY_DIR}/generated/assets)
add_custom_command(
  OUTPUT ${BF_ASSET_DIR}/BuiltinAssets.cpp ${BF_ASSET_DIR}/font.png ${BF_ASSET_DIR}/backdrop.png
         ${BF_ASSET_DIR}/icon.png
  COMMAND ${CMAKE_COMMAND} -E make_directory ${BF_ASSET_DIR}
  COMMAND bf_make_assets ${BF_UNIFONT_HEX} ${BF_ASSET_DIR}
  DEPENDS bf_make_assets ${BF_UNIFONT_HEX}
  COMMENT "Drawing the built-in font, backdrop and icon")

add_library(bf_assets STATIC ${BF_ASSET_DIR}/BuiltinAssets.cpp)
target_include_directories(bf_assets PUBLIC ${PROJECT_SOURCE_DIR})
