// The uninstall entry's EstimatedSize rounds up to whole KiB. This program
// carries a payload whose application is padded to one byte more than a
// multiple of 1024, where rounding up and rounding down differ by one.
#include "engine/install.h"
#include "setup/setup_state.h"
#include "tests/win/engine_fixture.h"

namespace {

class EstimatedSizeTest : public EngineTest {};

}  // namespace

TEST_F(EstimatedSizeTest, OneByteOverAWholeKiBCountsAsAnotherKiB) {
    const ULONGLONG packed = FileSize(Widen(VT_PADDED_APP_PATH));
    ASSERT_EQ(packed % 1024, 1u);

    std::wstring errorText;
    ASSERT_TRUE(RunInstall(errorText)) << Narrow(errorText);
    ASSERT_EQ(FileSize(layout.AppPath()), packed);
    ASSERT_EQ(ReadFileBytes(layout.AppPath()), ReadFileBytes(Widen(VT_PADDED_APP_PATH)));
    const RegistryValue value = ReadRegistryValue(kTestUninstallKey, L"EstimatedSize");
    ASSERT_EQ(value.status, ERROR_SUCCESS);
    EXPECT_EQ(value.type, DWORD(REG_DWORD));
    EXPECT_EQ(value.data, DwordBytes(DWORD(packed / 1024 + 1)));
}
