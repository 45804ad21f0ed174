// The main of the window test programs: GoogleTest's, but the program exits
// 77 (skipped, for CTest) when every test that ran was skipped, so a machine
// without a display, Wine or Ardour shows the entry as skipped, not passed.
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    const ::testing::UnitTest& unit = *::testing::UnitTest::GetInstance();
    if (rc == 0 && unit.test_to_run_count() > 0 && unit.skipped_test_count() == unit.test_to_run_count())
        return 77;
    return rc;
}
