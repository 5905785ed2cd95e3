#include "platform/Images.h"

#include <GL/gl.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_FAILURE_USERMSG
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

void takePixels(Image& image, stbi_uc* data, int width, int height, int components) {
    image.width = width;
    image.height = height;
    image.components = components;
    image.pixels.assign(data, data + size_t(width) * size_t(height) * 4);
    stbi_image_free(data);
}

void createTexture(Image& image, int filter) {
    textureLayout(image);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, image.width, image.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 image.pixels.data());
    image.texture = name;
}

}  // namespace

bool decodeImage(const uint8_t* bytes, size_t length, Image& out) {
    if (length > size_t(INT_MAX)) return false;
    int w = 0, h = 0, n = 0;
    stbi_uc* data = stbi_load_from_memory(bytes, int(length), &w, &h, &n, 4);
    if (!data) return false;
    takePixels(out, data, w, h, n);
    return true;
}

Image loadImageFromMemory(const uint8_t* bytes, size_t length, int filter) {
    Image image;
    if (length > size_t(INT_MAX)) throw std::runtime_error("couldn't load image from memory: too large");
    int w = 0, h = 0, n = 0;
    stbi_uc* data = stbi_load_from_memory(bytes, int(length), &w, &h, &n, 4);
    if (!data)
        throw std::runtime_error(std::string("couldn't load image from memory: ") + stbi_failure_reason());
    takePixels(image, data, w, h, n);
    createTexture(image, filter);
    return image;
}

Image loadImageFromFile(const std::string& path, int filter) {
    Image image;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) throw std::runtime_error("couldn't load image '" + path + "': can't fopen");
    int w = 0, h = 0, n = 0;
    stbi_uc* data = stbi_load_from_file(file, &w, &h, &n, 4);
    std::fclose(file);
    if (!data) throw std::runtime_error("couldn't load image '" + path + "': " + stbi_failure_reason());
    takePixels(image, data, w, h, n);
    createTexture(image, filter);
    return image;
}
