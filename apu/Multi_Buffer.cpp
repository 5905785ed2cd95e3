#include "apu/Multi_Buffer.h"

Multi_Buffer::~Multi_Buffer() = default;

const char* Multi_Buffer::prepareChannels(int) { return nullptr; }
