// The picture box with its persistent image.
#pragma once
#include "forms/control.h"
#include "platform/graphics/graphics.h"

namespace forms {

// A picture box with a persistent image (AutoRedraw): drawing goes into the image and shows at
// the next paint or at once on Refresh. Drawing coordinates are in its ScaleMode units (pixels or
// twips); its own geometry stays in its container's units.
class PictureBox : public Control {
public:
    PictureBox(Form* form, std::string name, Control* container = nullptr);
    int ScaleMode() const { return scaleMode_; }
    // 1 twips, 3 pixels.
    void setScaleMode(int mode);
    double ScaleWidth() const;
    double ScaleHeight() const;
    bool AutoRedraw = true;
    int BorderStyle = 1;  // 1: a 2-pixel sunken border inside the box
    int DrawWidth = 1;
    // Fills with BackColor, shows the Picture again.
    void Cls();
    // Line (x1,y1)-(x2,y2) in ScaleMode units, ForeColor when colour is negative.
    void Line(double x1, double y1, double x2, double y2, long long colour = -1);
    // A filled box (Line ..., BF).
    void LineBF(double x1, double y1, double x2, double y2, long long colour = -1);
    // The persistent image, in pixels of the inner area; what GDI-style code draws into.
    platform::Bitmap& image();
    const platform::Bitmap& image() const { return image_; }
    // The background picture; assigning it replaces the persistent image (drawing gone).
    const platform::Bitmap& Picture() const { return picture_; }
    void setPicture(const platform::Bitmap& picture);
    void clearPicture();
    // Shows the image now (the view repaints).
    void Refresh();
    void Move(double left, double top, double width, double height) override;
    int innerWidthPx() const;
    int innerHeightPx() const;
    std::function<void()> onClick, onDblClick, onPaint, onResize;
    std::function<void(int button, int shift, double x, double y)> onMouseDown, onMouseMove, onMouseUp;

private:
    void fitImage();
    double toPxX(double v) const;
    double toPxY(double v) const;
    int scaleMode_ = 1;
    platform::Bitmap image_;
    platform::Bitmap picture_;
};

}  // namespace forms
