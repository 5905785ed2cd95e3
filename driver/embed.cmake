# Writes a driver image as a C++ byte array.
#
# NSF driver (IN, OUT): the image IN becomes nsfDriverImage; it must be exactly the size the NSF
# layout reserves for it.
#
# ROM shell (LD65, CFG, OBJ, BIN, OUT, ROM=1): OBJ is linked once at $8000 to learn its size and
# again so that it ends at $FFFF (its last six bytes are the vectors); BIN is that image, and it
# becomes romDriverImage with its size.
if(ROM)
  execute_process(COMMAND ${LD65} -C ${CFG} -o ${BIN}.size ${OBJ} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "linking the ROM shell failed")
  endif()
  file(SIZE ${BIN}.size size)
  math(EXPR start "65536 - ${size}" OUTPUT_FORMAT HEXADECIMAL)
  string(REPLACE "0x" "$" start "${start}")
  execute_process(COMMAND ${LD65} -C ${CFG} -D __ROM_START__=${start} -o ${BIN} ${OBJ} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "linking the ROM shell at ${start} failed")
  endif()
  set(IN ${BIN})
endif()

file(READ ${IN} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
if(ROM)
  file(WRITE ${OUT} "// Generated from driver/rom_shell.s; do not edit.\n#include \"driver/RomDriverImage.h\"\n\nconst size_t romDriverImageSize = ${size};\nconst uint8_t romDriverImage[${size}] = {\n${bytes}};\n")
else()
  if(NOT size EQUAL 4478)
    message(FATAL_ERROR "NSF driver image is ${size} bytes, must be 4478")
  endif()
  file(WRITE ${OUT} "// Generated from driver/nsf_driver.s; do not edit.\n#include \"driver/NsfDriverImage.h\"\n\nconst uint8_t nsfDriverImage[NSF_DRIVER_IMAGE_SIZE] = {\n${bytes}};\n")
endif()
