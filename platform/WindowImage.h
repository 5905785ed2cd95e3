#pragma once
// A magnified window's picture shown by the program itself: the frame drawn at the logical
// 794 x 602 size is blown up on the CPU, pixel for pixel, into an X image in shared memory and
// put into the window. Under a software rasteriser this costs a small part of having GL draw
// every pixel of the large window through a texture-sampling shader.

#include <cstdint>
#include <memory>
#include <vector>

class WindowImage {
  public:
    WindowImage();
    ~WindowImage();
    WindowImage(const WindowImage&) = delete;
    WindowImage& operator=(const WindowImage&) = delete;

    // Gets ready for the program's window at width x height pixels (found again through SDL,
    // which may have replaced it on a resize), its border black. False when the X server can
    // share no image with the program for it (a remote display, another pixel layout): the frame
    // must then reach the window some other way. A size of zero lets go of the image (false).
    bool resize(int width, int height);
    // frame holds 794 x 602 pixels, each four bytes blue, green, red, alpha, rows bottom up as
    // glReadPixels gives them; it is shown magnified scale times with its top left corner at
    // (x, y) of the window. Needs a successful resize.
    void show(const uint8_t* frame, int scale, int x, int y);

  private:
    struct Shared;
    void release(bool withServer);
    std::unique_ptr<Shared> shared_;
    std::vector<uint8_t> shown_;  // the frame last shown, as given
    bool whole_ = true;           // the image holds none of it (new, or resized)
};
