// The controls of an extended dialog template as a resource file stores them, read
// from the program's file in one language.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

struct TemplateControl {
    DWORD style;
    int id;
    WORD classAtom;  // 0x80 button, 0x81 edit, 0x82 static, 0x83 list box, 0x85 combo box; 0 for a named class
    std::wstring className;  // when the class is named
    std::wstring text;
    int x, y, width, height;  // dialog units
};

// The controls in template order; empty when the dialog is missing in that language
// or not an extended template.
std::vector<TemplateControl> dialogControls(HMODULE module, int dialogId, LANGID language);

// The letter after the single '&' of a label (upper case), 0 when there is none, -1
// when there are several.
int mnemonicOf(const std::wstring &text);

}  // namespace testing_support
