// "Maske erstellen", the mask painter: a canvas on which the operator stamps a brush (a built-in
// shape, a picture file or a line of text, recoloured, rotated, stretched and scaled) with a colour
// key, one-step undo, clearing and inverting; the canvas is saved as "maske.swf" in the program
// folder (a GIF whose white is transparent) and laid over the projector picture on layer 9999.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "forms/form.h"
#include "korvella/maskpainter/CommonDialog.h"
#include "platform/graphics/graphics.h"

namespace korvella {

// A picture box with the tooltip text the key display shows.
class TipPictureBox : public forms::PictureBox {
public:
    using forms::PictureBox::PictureBox;
    std::string ToolTipText;
};

class FrmCustomWindow : public forms::Form {
public:
    FrmCustomWindow();

    // ---- Canvas ----
    forms::Frame Frame5{this, "Frame5", "Masken Bild"};
    forms::PictureBox picBox{this, "picBox", &Frame5};
    forms::CommandButton Command1{this, "Command1", "Rückgängig"};
    forms::Label Label8{this, "Label8"};
    forms::CommandButton ClearPic{this, "ClearPic", "Entferne das aktuelle Maskenbild"};
    forms::CommandButton Command3{this, "Command3", "Farben umkehren"};
    forms::Label Label16{this, "Label16"};
    forms::CommandButton Command2{this, "Command2", "Maskenbild speichern"};
    forms::CommandButton Command9{this, "Command9", "Gespeichertes Maskenbild übernehmen"};
    forms::Label Label17{this, "Label17"};
    forms::Timer Timer1{this, "Timer1", 2500, false};

    // ---- Colour key ----
    forms::Frame Frame3{this, "Frame3", "Transparent Color"};
    TipPictureBox Transparent{this, "Transparent", &Frame3};
    forms::ScrollBar tr{this, "tr", true, 0, 255, 255, &Frame3};
    forms::ScrollBar tg{this, "tg", true, 0, 255, 255, &Frame3};
    forms::ScrollBar tb{this, "tb", true, 0, 255, 255, &Frame3};

    // ---- Brush ----
    forms::Frame Frame1{this, "Frame1", "Pinsel"};
    forms::Label Label1{this, "Label1", &Frame1};
    forms::PictureBox pd{this, "pd", &Frame1};
    forms::ScrollBar HScroll5{this, "HScroll5", true, 0, 15, 0, &Frame1};
    forms::CommandButton Command8{this, "Command8", "X", &Frame1};
    forms::CommandButton Command7{this, "Command7", "Bild als Pinsel laden", &Frame1};
    forms::Label Label9{this, "Label9", &Frame1};
    forms::ScrollBar HScroll7{this, "HScroll7", true, 0, 255, 0, &Frame1};
    forms::Label Label10{this, "Label10", &Frame1};
    forms::ScrollBar HScroll8{this, "HScroll8", true, 0, 255, 0, &Frame1};
    forms::Label Label11{this, "Label11", &Frame1};
    forms::ScrollBar HScroll9{this, "HScroll9", true, 0, 255, 0, &Frame1};
    forms::TextBox Text1{this, "Text1", &Frame1};
    forms::ComboBox Combo1{this, "Combo1", &Frame1};
    forms::ScrollBar HScroll6{this, "HScroll6", true, 8, 80, 32, &Frame1};
    forms::Label Label7{this, "Label7", &Frame1};
    forms::CommandButton Command4{this, "Command4", "Text Übernehmen", &Frame1};
    forms::CommandButton Command5{this, "Command5", "Text entfernen", &Frame1};
    forms::Label Label12{this, "Label12", &Frame1};
    forms::ScrollBar HScroll1{this, "HScroll1", true, -180, 180, 0, &Frame1};
    forms::Label Label2{this, "Label2", &Frame1};
    forms::Label Label13{this, "Label13", &Frame1};
    forms::ScrollBar HScroll2{this, "HScroll2", true, -180, 180, 0, &Frame1};
    forms::Label Label3{this, "Label3", &Frame1};
    forms::Label Label14{this, "Label14", &Frame1};
    forms::ScrollBar HScroll3{this, "HScroll3", true, -180, 180, 0, &Frame1};
    forms::Label Label4{this, "Label4", &Frame1};
    forms::Label Label15{this, "Label15", &Frame1};
    forms::ScrollBar HScroll4{this, "HScroll4", true, 0, 86, 50, &Frame1};
    forms::Label Label5{this, "Label5", &Frame1};

    // ---- Hidden helpers ----
    forms::PictureBox ps{this, "ps"};                // brush source
    forms::PictureBox po{this, "po"};                // transform surface
    forms::PictureBox picBrush{this, "picBrush"};    // the stamp
    forms::PictureBox Picture2{this, "Picture2"};    // undo copy
    forms::PictureBox Picture3{this, "Picture3"};    // blank picture
    forms::PictureBox Picture5{this, "Picture5"};    // empty brush
    forms::PictureBox Picture6{this, "Picture6"};    // recolour scratch
    forms::PictureBox Picture7{this, "Picture7"};    // current brush colour
    forms::CommandButton Command6{this, "Command6", ""};
    CommonDialog CommonDialog1;

    // The built-in shapes, indexes 0 to 15; any other index raises 340.
    forms::PictureBox& Picture4(int index);

    bool GdipStarted = false;

    void Form_Load() override;
    void Form_Unload(int& cancel) override;

    // Canvas.
    void picBox_MouseDown(int button, int shift, double x, double y);
    void picBox_MouseMove(int button, int shift, double x, double y);
    void Command1_Click();
    void ClearPic_Click();
    void Command3_Click();
    void tr_Change();
    void tg_Change();
    void tb_Change();
    void tr_Scroll();
    void tg_Scroll();
    void tb_Scroll();
    void Combo1_Click();

    // Brush.
    void DoRedraw();
    void HScroll5_Change();
    void HScroll5_Scroll();
    void Command8_Click();
    void Command7_Click();
    void Command4_Click();
    void Command5_Click();
    void HScroll6_Change();
    void HScroll7_Change();
    void HScroll7_Scroll();
    void HScroll8_Change();
    void HScroll8_Scroll();
    void HScroll9_Change();
    void HScroll9_Scroll();
    void Command6_Click();
    void HScroll1_Change();
    void HScroll2_Change();
    void HScroll3_Change();
    void HScroll4_Change();
    void HScroll1_Scroll();
    void HScroll2_Scroll();
    void HScroll3_Scroll();
    void HScroll4_Scroll();

    // Export.
    void Command2_Click();
    void Timer1_Timer();
    void Command9_Click();
    std::int32_t InitGDIPlus(std::int32_t version);
    void ShutdownGDIPlus();
    std::int32_t CheckGdipStatus(std::int32_t status);
    static std::string GdipStatusText(std::int32_t status);
    bool GetEncoderClsid(const std::string& mime, std::array<std::uint8_t, 16>& clsid);
    std::int32_t SaveAsGif(const platform::Bitmap& picture, const std::string& fileName, bool transparent,
                           std::uint32_t key);

    // The three corner points of the transform (upper-left, upper-right, lower-left).
    std::array<platform::Point, 3> corners{};

private:
    void layout();
    void stamp(double x, double y);
    void keyChanged();
    void recolourPressed();
    void transformChanged(forms::ScrollBar& bar, forms::Label& label);

    std::array<std::unique_ptr<forms::PictureBox>, 16> picture4_;
    std::uintptr_t gdipToken_ = 0;
    // A save in progress: closing the window meanwhile leaves the graphics library to the save.
    bool saving_ = false;
};

}  // namespace korvella
