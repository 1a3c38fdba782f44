#include "forms/controls/picturebox.h"

#include <algorithm>
#include <cmath>

#include "forms/form.h"
#include "platform/error.h"

namespace forms {

using platform::raise;

PictureBox::PictureBox(Form* form, std::string name, Control* container)
    : Control(form, std::move(name), Kind::PictureBox, true, "ThunderRT6PictureBoxDC", container) {
    fitImage();
}

int PictureBox::innerWidthPx() const {
    return std::max(0, static_cast<int>(Width() / kTwipsPerPixel + 0.5) - (BorderStyle ? 4 : 0));
}

int PictureBox::innerHeightPx() const {
    return std::max(0, static_cast<int>(Height() / kTwipsPerPixel + 0.5) - (BorderStyle ? 4 : 0));
}

void PictureBox::setScaleMode(int mode) {
    if (mode != 1 && mode != 3) raise(380);
    scaleMode_ = mode;
}

double PictureBox::ScaleWidth() const { return scaleMode_ == 3 ? innerWidthPx() : innerWidthPx() * kTwipsPerPixel; }
double PictureBox::ScaleHeight() const { return scaleMode_ == 3 ? innerHeightPx() : innerHeightPx() * kTwipsPerPixel; }

double PictureBox::toPxX(double v) const { return scaleMode_ == 3 ? v : v / kTwipsPerPixel; }
double PictureBox::toPxY(double v) const { return scaleMode_ == 3 ? v : v / kTwipsPerPixel; }

void PictureBox::fitImage() {
    const int w = innerWidthPx(), h = innerHeightPx();
    if (image_.width() == w && image_.height() == h) return;
    platform::Bitmap old = image_;
    image_.resize(w, h, platform::PixelFormat::Bgra32);
    image_.clear(resolveColor(BackColor()));
    // What was drawn stays where it was.
    for (int y = 0; y < std::min(h, old.height()); ++y)
        for (int x = 0; x < std::min(w, old.width()); ++x) image_.setPixel(x, y, old.pixel(x, y));
}

void PictureBox::Move(double left, double top, double width, double height) {
    const bool sized = width != Width() || height != Height();
    Control::Move(left, top, width, height);
    if (sized) {
        fitImage();
        fire(onResize);
    }
}

platform::Bitmap& PictureBox::image() {
    fitImage();
    return image_;
}

void PictureBox::Cls() {
    fitImage();
    image_.clear(resolveColor(BackColor()));
    if (!picture_.empty())
        for (int y = 0; y < std::min(image_.height(), picture_.height()); ++y)
            for (int x = 0; x < std::min(image_.width(), picture_.width()); ++x)
                image_.setPixel(x, y, picture_.pixel(x, y));
    notify(Prop::Picture);
}

void PictureBox::Line(double x1, double y1, double x2, double y2, long long colour) {
    const std::uint32_t c = colour < 0 ? resolveColor(ForeColor()) : static_cast<std::uint32_t>(colour) & 0xFFFFFF;
    auto px = [](double v) { return static_cast<int>(std::lround(v)); };
    image().line(px(toPxX(x1)), px(toPxY(y1)), px(toPxX(x2)), px(toPxY(y2)), c);
    notify(Prop::Picture);
}

void PictureBox::LineBF(double x1, double y1, double x2, double y2, long long colour) {
    const std::uint32_t c = colour < 0 ? resolveColor(ForeColor()) : static_cast<std::uint32_t>(colour) & 0xFFFFFF;
    auto px = [](double v) { return static_cast<int>(std::lround(v)); };
    const int ax = px(toPxX(std::min(x1, x2))), ay = px(toPxY(std::min(y1, y2)));
    const int bx = px(toPxX(std::max(x1, x2))), by = px(toPxY(std::max(y1, y2)));
    image().fillRect(ax, ay, bx - ax + 1, by - ay + 1, c);
    notify(Prop::Picture);
}

void PictureBox::setPicture(const platform::Bitmap& picture) {
    picture_ = picture;
    Cls();
}

void PictureBox::clearPicture() {
    picture_ = platform::Bitmap();
    Cls();
}

void PictureBox::Refresh() { notify(Prop::Picture); }

}  // namespace forms
