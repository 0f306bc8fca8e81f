// The dialogs as the resource files describe them, in both languages: every label has
// a mnemonic that lands on the control after it, and no two controls of a dialog share
// one.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "support/dialog_template.h"
#include "support/program_runner.h"

using namespace testing_support;

namespace {

const WORD kButton = 0x80, kStatic = 0x82;

// A static that names something (not the "-->" arrows of the routing dialog).
bool isLabel(const TemplateControl &c) {
    if (c.classAtom != kStatic) return false;
    for (wchar_t ch : c.text)
        if (iswalnum(ch) || ch > 0x2E80) return true;
    return false;
}

bool isGroupBox(const TemplateControl &c) { return c.classAtom == kButton && (c.style & 0xF) == BS_GROUPBOX; }

TEST(DialogResources, LabelsHaveMnemonicsThatLandOnTheirControlInBothLanguages) {
    HMODULE exe = LoadLibraryExA((exeFolder() + "\\Korvane.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, exe);
    const LANGID languages[] = {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)};
    for (int dialog : {IDD_SETTINGS, IDD_ROUTING, IDD_SAVE, IDD_EXPORT}) {
        std::vector<int> letters[2];
        for (int l = 0; l < 2; ++l) {
            SCOPED_TRACE("dialog " + std::to_string(dialog) + " language " + std::to_string(languages[l]));
            std::vector<TemplateControl> controls = dialogControls(exe, dialog, languages[l]);
            ASSERT_FALSE(controls.empty());
            std::set<int> used;
            for (size_t i = 0; i < controls.size(); ++i) {
                const TemplateControl &c = controls[i];
                int letter = mnemonicOf(c.text);
                std::string text(c.text.begin(), c.text.end());  // for the messages; CJK shows as '?'
                EXPECT_NE(-1, letter) << "several '&' in " << text;
                if (isLabel(c)) {
                    EXPECT_GT(letter, 0) << "label without a mnemonic: " << text;
                    // The mnemonic of a label moves the focus to the next control in the
                    // template that the Tab key stops at.
                    ASSERT_LT(i + 1, controls.size()) << text;
                    EXPECT_TRUE(controls[i + 1].style & WS_TABSTOP) << "the control after " << text;
                }
                if (letter > 0) {
                    EXPECT_TRUE(used.insert(letter).second) << "mnemonic used twice: " << text;
                    letters[l].push_back(letter);
                }
                if (isGroupBox(c) && letter > 0) {
                    bool reachable = false;
                    for (size_t j = i + 1; j < controls.size() && !reachable; ++j)
                        reachable = (controls[j].style & WS_TABSTOP) != 0;
                    EXPECT_TRUE(reachable) << text;
                }
            }
        }
        EXPECT_EQ(letters[0], letters[1]) << "dialog " << dialog << ": the same keys in both languages";
    }
    FreeLibrary(exe);
}

// Every menu of the main menu in both languages, and each of their items: a mnemonic
// of its own within its menu ("文件(&F)" as "&File"), the same keys in both; the File
// menu's sound commands among them. The sound item's texts, which replace its resource
// text when the menu opens, too.
TEST(DialogResources, EveryMenuAndItemHasItsMnemonicTheSameInBothLanguages) {
    HMODULE exe = LoadLibraryExA((exeFolder() + "\\Korvane.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, exe);
    const LANGID languages[] = {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)};
    std::vector<int> letters[2];
    for (int l = 0; l < 2; ++l) {
        SCOPED_TRACE("language " + std::to_string(languages[l]));
        HRSRC found = FindResourceExW(exe, (LPCWSTR)RT_MENU, MAKEINTRESOURCEW(IDR_MAINMENU), languages[l]);
        ASSERT_NE(nullptr, found);
        HMENU menu = LoadMenuIndirectW(LockResource(LoadResource(exe, found)));
        ASSERT_NE(nullptr, menu);
        // The bar's menus, then the items of each; separators have no text.
        std::vector<HMENU> menus = {menu};
        for (int i = 0; i < GetMenuItemCount(menu); ++i) menus.push_back(GetSubMenu(menu, i));
        for (size_t m = 0; m < menus.size(); ++m) {
            std::set<int> used;
            for (int i = 0; i < GetMenuItemCount(menus[m]); ++i) {
                wchar_t text[128] = L"";
                if (GetMenuStringW(menus[m], (UINT)i, text, 128, MF_BYPOSITION) == 0) continue;
                int letter = mnemonicOf(text);
                EXPECT_GT(letter, 0) << "menu " << m << " item " << i << " without a mnemonic";
                EXPECT_TRUE(letter <= 0 || used.insert(letter).second) << "menu " << m << " item " << i;
                letters[l].push_back(letter);
            }
        }
        for (int command : {CMD_LOAD_SOUND, CMD_SAVE_SOUND, CMD_DEFAULT_SOUND}) {
            wchar_t text[128] = L"";
            EXPECT_GT(GetMenuStringW(GetSubMenu(menu, 0), (UINT)command, text, 128, MF_BYCOMMAND), 0) << command;
            EXPECT_GT(mnemonicOf(text), 0) << command;
        }
        DestroyMenu(menu);
        // The sound item's texts keep the key of its resource text.
        for (int id : {IDS_SOUND_START, IDS_SOUND_STOP}) {
            HRSRC block = FindResourceExW(exe, (LPCWSTR)RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), languages[l]);
            ASSERT_NE(nullptr, block) << id;
            const WORD *p = (const WORD *)LockResource(LoadResource(exe, block));
            for (int k = 0; k < id % 16; ++k) p += 1 + *p;
            letters[l].push_back(mnemonicOf(std::wstring((const wchar_t *)p + 1, *p)));
        }
    }
    EXPECT_EQ(letters[0], letters[1]);
    FreeLibrary(exe);
}

}  // namespace
