// clsWinConsole: what it writes, how it cuts a read, when it lets the console go.
#include "TestSupport.h"
#include "console/clsWinConsole.h"

namespace {

using fake::S;
using Texts = std::vector<std::wstring>;

class ConsoleTest : public test::VelmoraTest {};

TEST_F(ConsoleTest, WritesExactlyTheTextAndTheLineEndOnlyWhenAsked) {
    clsWinConsole console;
    console.Show();
    console.WriteText(L"", false);
    console.WriteText(L"abc", false);
    console.WriteText(L"abc", true);
    console.WriteText(L"\r\n", true);
    console.WriteTextLine(L"abc");
    console.WriteTextLine(L"");
    EXPECT_EQ(S().console.Texts(), (Texts{L"", L"abc", L"abc\r\n", L"\r\n\r\n", L"abc\r\n", L"\r\n"}));
    for (const auto& write : S().console.writes) EXPECT_EQ(write.handle, S().console.output);
}

TEST_F(ConsoleTest, ReadTextCutsTheLineFromTheBuffer) {
    const std::wstring x253(253, L'x'), x254(254, L'x'), x256(256, L'x'), x300(300, L'x');
    const struct {
        const char* name;
        std::wstring typed;
        std::wstring line;
    } cases[] = {
        {"Enter alone", L"\r\n", L""},
        {"a short line", L"abc\r\n", L"abc"},
        {"253 characters: the NUL is the last byte", x253 + L"\r\n", x253},
        {"254 characters: no NUL left in the buffer", x254 + L"\r\n", x254},
        {"300 characters: the buffer full, no line end", x300 + L"\r\n", x256},
        {"closed input: all NULs", L"", L""},
        {"one byte read", L"y", L"y"},
        {"input closed after a few characters: nothing of them is lost", L"ab", L"ab"},
        {"255 characters: the buffer ends after the CR", std::wstring(255, L'x') + L"\r\n", std::wstring(255, L'x')},
    };
    clsWinConsole console;
    console.Show();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        S().console.reads.push_back(fake::ReadLeaves(c.typed));
        EXPECT_EQ(console.ReadText(), c.line);
    }
    EXPECT_EQ(S().console.readSizes, std::vector<std::size_t>(std::size(cases), 256));
    EXPECT_EQ(S().console.readHandles, std::vector<platform::console::Handle>(std::size(cases), S().console.input));
}

TEST_F(ConsoleTest, HideLetsGoOnceForEveryCallAfterShowAndOnDestruction) {
    {
        clsWinConsole console;
        EXPECT_FALSE(console.IsActive());
        console.Hide();
        EXPECT_EQ(S().console.letGos, 0);

        console.Show();
        EXPECT_TRUE(console.IsActive());
        EXPECT_EQ(S().trace, (Texts{L"open", L"title:Velmora"}));

        console.Hide();
        EXPECT_TRUE(console.IsActive());  // the handles stay
        console.Hide();
        EXPECT_EQ(S().console.letGos, 2);
    }
    EXPECT_EQ(S().console.letGos, 3);

    { clsWinConsole neverShown; }
    EXPECT_EQ(S().console.letGos, 3);
}

TEST_F(ConsoleTest, ShowKeepsEachHandleItIsGivenEvenAnInvalidOne) {
    using H = platform::console::Handle;
    const struct {
        H input, output, error;
        bool active;
    } cases[] = {
        {H{-1}, H{0}, H{0}, true}, {H{0}, H{-1}, H{0}, true}, {H{0}, H{0}, H{-1}, true}, {H{0}, H{0}, H{0}, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.input.value << " " << c.output.value << " " << c.error.value);
        fake::Reset();
        S().console.input = c.input;
        S().console.output = c.output;
        S().console.error = c.error;
        {
            clsWinConsole console;
            console.Show();
            EXPECT_EQ(console.IsActive(), c.active);
            console.WriteText(L"x", false);
            console.ReadText();
        }
        EXPECT_EQ(S().console.writes.at(0).handle, c.output);
        EXPECT_EQ(S().console.readHandles.at(0), c.input);
        EXPECT_EQ(S().console.letGos, c.active ? 1 : 0);
    }
}

}  // namespace
