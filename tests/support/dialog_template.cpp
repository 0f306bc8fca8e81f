#include "support/dialog_template.h"

#include <cwctype>

namespace testing_support {

namespace {

// A name-or-ordinal field; returns the pointer after it.
const WORD *nameOrOrdinal(const WORD *p, const WORD *end, WORD *ordinal, std::wstring *name) {
    *ordinal = 0;
    if (p >= end) return end;
    if (*p == 0xFFFF) {
        if (p + 1 < end) *ordinal = p[1];
        return p + 2;
    }
    const WORD *start = p;
    while (p < end && *p) ++p;
    if (name) name->assign((const wchar_t *)start, p - start);
    return p + 1;
}

const WORD *alignDword(const WORD *p, const BYTE *base) {
    return (const WORD *)(base + (((const BYTE *)p - base + 3) & ~(size_t)3));
}

}  // namespace

std::vector<TemplateControl> dialogControls(HMODULE module, int dialogId, LANGID language) {
    std::vector<TemplateControl> controls;
    HRSRC found = FindResourceExA(module, (LPCSTR)RT_DIALOG, MAKEINTRESOURCEA(dialogId), language);
    if (!found) return controls;
    const BYTE *base = (const BYTE *)LockResource(LoadResource(module, found));
    DWORD size = SizeofResource(module, found);
    if (!base || size < 26) return controls;
    const WORD *p = (const WORD *)base, *end = (const WORD *)(base + size);
    if (p[0] != 1 || p[1] != 0xFFFF) return controls;
    DWORD style = *(const DWORD *)(base + 12);
    WORD count = p[8];
    p += 13;
    WORD ordinal;
    p = nameOrOrdinal(p, end, &ordinal, nullptr);  // menu
    p = nameOrOrdinal(p, end, &ordinal, nullptr);  // class
    p = nameOrOrdinal(p, end, &ordinal, nullptr);  // caption
    if (style & (DS_SETFONT | DS_SHELLFONT)) {
        p += 3;  // point size, weight, italic and character set
        p = nameOrOrdinal(p, end, &ordinal, nullptr);
    }
    for (WORD i = 0; i < count; ++i) {
        p = alignDword(p, base);
        if ((const BYTE *)p + 24 > (const BYTE *)end) break;
        const BYTE *item = (const BYTE *)p;
        TemplateControl c = {};
        c.style = *(const DWORD *)(item + 8);
        const short *box = (const short *)(item + 12);
        c.x = box[0];
        c.y = box[1];
        c.width = box[2];
        c.height = box[3];
        c.id = *(const int *)(item + 20);
        p = (const WORD *)(item + 24);
        p = nameOrOrdinal(p, end, &c.classAtom, &c.className);
        WORD textOrdinal;
        p = nameOrOrdinal(p, end, &textOrdinal, &c.text);
        if (p >= end) break;
        WORD extra = *p++;
        p = (const WORD *)((const BYTE *)p + extra);
        controls.push_back(c);
    }
    return controls;
}

int mnemonicOf(const std::wstring &text) {
    int found = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != L'&') continue;
        if (text[i + 1] == L'&') {
            ++i;  // "&&" is a plain ampersand
            continue;
        }
        if (found) return -1;
        found = (int)towupper(text[i + 1]);
    }
    return found;
}

}  // namespace testing_support
