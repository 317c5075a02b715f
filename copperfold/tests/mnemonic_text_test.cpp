// Captions made from menu-style texts.
#include "copperfold/core/mnemonic_text.h"

#include <gtest/gtest.h>

namespace {

using copperfold::WithoutMnemonic;

TEST(MnemonicText, MarksGoDoubledAmpersandsStayOnce) {
    EXPECT_EQ(WithoutMnemonic(L"&Add"), L"Add");
    EXPECT_EQ(WithoutMnemonic(L"&Hinzufügen"), L"Hinzufügen");
    EXPECT_EQ(WithoutMnemonic(L"Save && &Close"), L"Save & Close");
    EXPECT_EQ(WithoutMnemonic(L"Add&"), L"Add");
    EXPECT_EQ(WithoutMnemonic(L"Add"), L"Add");
    EXPECT_EQ(WithoutMnemonic(L""), L"");
}

}  // namespace
