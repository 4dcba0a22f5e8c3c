// Tests of the fatal path: the stop hook throws TFatalStopped instead of
// ending the program, so a test can see that a call stopped and read the
// error text it left.
#pragma once

#include <gtest/gtest.h>

#include "engine/QX9_System.h"

struct TFatalStopped {};

inline void ThrowingStop()
{
    throw TFatalStopped{};
}

// A fixture whose fatal stops throw; the error text starts and ends empty.
class TFatalStopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearEngineErrorText();
        SetFatalStopHook(&ThrowingStop);
    }
    void TearDown() override
    {
        SetFatalStopHook(nullptr);
        ClearEngineErrorText();
    }
};
