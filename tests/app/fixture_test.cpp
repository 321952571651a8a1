#include "platform/ui.h"
#include "tests/support/fixture/TevHome.h"

#include <gtest/gtest-spi.h>

namespace {

using Platform::Ui::Answer;

// The fixture's own end-of-test checks, run inside the test so their failure
// can be expected; SetUp again gives the real TearDown a clean folder.
class FixtureChecks : public TevHome {
protected:
    void endTest()
    {
        TevHome::TearDown();
        TevHome::SetUp();
    }
};

TEST_F(FixtureChecks, ATestThatLeavesAScriptedAnswerUnusedFails)
{
    Platform::Ui::queueAnswer(Answer::Yes);
    EXPECT_NONFATAL_FAILURE(endTest(), "a scripted answer was never taken");
}

TEST_F(FixtureChecks, ATestThatShowsAnUnscriptedBoxFails)
{
    Platform::Ui::msgBox(QStringLiteral("Nobody answers this"));
    EXPECT_NONFATAL_FAILURE(endTest(), "a box or dialog found no scripted answer");
}

} // namespace
