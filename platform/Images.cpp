#include "platform/Images.h"

#include <GL/gl.h>

#include <stdexcept>

#include "platform/ImageDecoder.h"

namespace {

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

bool decodeImage(const uint8_t* bytes, size_t length, Image& out) { return decodePicture(bytes, length, out) == nullptr; }

Image loadImageFromMemory(const uint8_t* bytes, size_t length, int filter) {
    Image image;
    if (const char* reason = decodePicture(bytes, length, image))
        throw std::runtime_error(std::string("couldn't load image from memory: ") + reason);
    createTexture(image, filter);
    return image;
}

Image loadImageFromFile(const std::string& path, int filter) {
    Image image;
    if (const char* reason = decodePictureFile(path, image))
        throw std::runtime_error("couldn't load image '" + path + "': " + reason);
    createTexture(image, filter);
    return image;
}
