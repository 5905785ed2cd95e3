# Writes the driver image IN as the C++ array nsfDriverImage into OUT; fails unless the image is
# exactly the size the NSF layout reserves for it.
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
if(NOT size EQUAL 4478)
  message(FATAL_ERROR "NSF driver image is ${size} bytes, must be 4478")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE ${OUT} "// Generated from driver/nsf_driver.s; do not edit.\n#include \"driver/NsfDriverImage.h\"\n\nconst uint8_t nsfDriverImage[NSF_DRIVER_IMAGE_SIZE] = {\n${bytes}};\n")
