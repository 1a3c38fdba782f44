// The label: a caption that the program sets.
#pragma once
#include <string>

#include "forms/control.h"

namespace forms {

class Label : public Control {
public:
    Label(Form* form, std::string name, Control* container = nullptr);
    const std::string& Caption() const { return caption_; }
    void setCaption(const std::string& c);
    Label& operator=(const std::string& c) {
        setCaption(c);
        return *this;
    }
    // Repaints the label's area at once.
    void Refresh() { notify(Prop::Other); }
    int Alignment = 0;  // 0 left, 1 right, 2 centre
    bool AutoSize = false;
    int BackStyle = 1;  // 0 transparent
    std::function<void()> onClick, onDblClick, onChange;

private:
    std::string caption_;
};

}  // namespace forms
