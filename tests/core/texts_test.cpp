#include <gtest/gtest.h>

#include <cwctype>
#include <map>
#include <string>

#include "support/program_runner.h"

using namespace testing_support;

namespace {

// Every string of one language in the program's resources, by id.
struct StringTable {
    LANGID language;
    std::map<unsigned, std::wstring> texts;
};

BOOL CALLBACK collectBlock(HMODULE module, LPCWSTR type, LPWSTR name, LPARAM param) {
    StringTable *table = (StringTable *)param;
    unsigned block = (unsigned)(ULONG_PTR)name;
    HRSRC found = FindResourceExW(module, type, name, table->language);
    if (!found) return TRUE;
    const WORD *p = (const WORD *)LockResource(LoadResource(module, found));
    // A block holds 16 counted strings; ids (block - 1) * 16 + i.
    for (unsigned i = 0; i < 16 && p; ++i) {
        WORD length = *p++;
        if (length) table->texts[(block - 1) * 16 + i] = std::wstring((const wchar_t *)p, length);
        p += length;
    }
    return TRUE;
}

StringTable readTable(HMODULE module, LANGID language) {
    StringTable table = {language, {}};
    EnumResourceNamesW(module, (LPCWSTR)RT_STRING, collectBlock, (LPARAM)&table);
    return table;
}

// The printf conversions and numbered inserts of a text, in order ("%3.1f%3.1f" for
// the playing text, "%1" for an insert).
std::wstring conversions(const std::wstring &text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%') continue;
        size_t end = text.find_first_not_of(L"-+ #0123456789.*lhw", i + 1);
        if (end == std::wstring::npos) end = text.size();
        bool letter = end < text.size() && (iswalpha(text[end]) || text[end] == L'%');
        out += text.substr(i, end - i + (letter ? 1 : 0));
        i = letter ? end : end - 1;
    }
    return out;
}

TEST(Texts, BothLanguagesCarryTheSameNonEmptyStringsWithTheSameNumbers) {
    HMODULE exe = LoadLibraryExA((exeFolder() + "\\Korvane.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, exe);
    StringTable en = readTable(exe, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    StringTable zh = readTable(exe, MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    FreeLibrary(exe);
    ASSERT_GE(en.texts.size(), 10u);
    EXPECT_EQ(en.texts.size(), zh.texts.size());
    for (const auto &entry : en.texts) {
        auto other = zh.texts.find(entry.first);
        ASSERT_NE(zh.texts.end(), other) << "id " << entry.first << " has no Chinese text";
        EXPECT_FALSE(entry.second.empty()) << entry.first;
        EXPECT_FALSE(other->second.empty()) << entry.first;
        EXPECT_EQ(conversions(entry.second), conversions(other->second)) << "id " << entry.first;
    }
    for (const auto &entry : zh.texts) EXPECT_TRUE(en.texts.count(entry.first)) << "id " << entry.first;
}

}  // namespace
