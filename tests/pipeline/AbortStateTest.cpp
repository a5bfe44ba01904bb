#include "pipeline/AbortState.h"

#include <gtest/gtest.h>

// A close after the button keeps the press, which picks the status texts after the run.
TEST(AbortState, ARequestAfterThePressKeepsItAndClearEndsBoth) {
    TAbortState abort;
    EXPECT_FALSE(abort.Requested() || abort.Pressed());
    abort.Request();
    EXPECT_TRUE(abort.Requested());
    EXPECT_FALSE(abort.Pressed());
    abort.Press();
    abort.Request();
    EXPECT_TRUE(abort.Requested() && abort.Pressed());
    abort.Clear();
    EXPECT_FALSE(abort.Requested() || abort.Pressed());
}
