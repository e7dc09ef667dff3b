// The command line: the splitter against the documented rules (and, on Windows, against the
// system's own CommandLineToArgvW), the option scan, the passthrough text and its round trip,
// and a real child that receives, scans and forwards its arguments.
#include "LauncherTestSupport.h"

#include "CommandLine.h"
#include "Settings.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#if defined(_WIN32)
// windows.h first: shellapi.h builds on it.
#include <windows.h>

#include <shellapi.h>
#endif

namespace {

using namespace launcher_test;
using launcher_test::U;
using Strings = std::vector<std::string>;

Strings U(const ArgumentList& list)
{
    Strings out;
    for (const vxn::wstring& argument : list)
        out.push_back(U(argument));
    return out;
}

ArgumentList Arguments(const Strings& texts)
{
    ArgumentList list;
    for (const std::string& text : texts)
        list.push_back() = W(text);
    return list;
}

const char* const DebuggerVariable = "VXN_WAIT_FOR_DEBUGGER";

int waits = 0;
void CountingWait()
{
    ++waits;
    EXPECT_EQ(zyrel_test::variable(DebuggerVariable), "<unset>") << "the variable is set after the wait, not before";
}

struct Scanned {
    Dump store;
    int waits = 0;
    std::string variable;
    Strings vector; // the argument vector after the scan folded it
};

// Scans "program" followed by `arguments` into an empty store.
Scanned Scan(const Strings& arguments)
{
    Settings::Clear();
    const zyrel_test::scoped_variable unmarked(DebuggerVariable, nullptr);
    waits = 0;
    Strings with_program{"ZyrelDownloader.exe"};
    with_program.insert(with_program.end(), arguments.begin(), arguments.end());
    ArgumentList list = Arguments(with_program);
    ScanArguments(list, &CountingWait);
    Scanned result{StoreContents(), waits, zyrel_test::variable(DebuggerVariable), U(list)};
    Settings::Clear();
    return result;
}

// The store of a scan without the passthrough copy, which the next tests check on its own.
Dump Options(const Strings& arguments)
{
    Dump store = Scan(arguments).store;
    store.erase("Arguments");
    return store;
}

std::string Passthrough(const Strings& arguments)
{
    Strings with_program{"p"};
    with_program.insert(with_program.end(), arguments.begin(), arguments.end());
    return U(PassthroughText(Arguments(with_program)));
}

Strings SplitLine(const std::string& line)
{
    return U(SplitCommandLine(W(line).c_str()));
}

Strings SplitParams(const std::string& text)
{
    return U(SplitParameters(W(text).c_str()));
}

// ---- the splitter ------------------------------------------------------------------------

TEST(CommandLineTest, SplitterFollowsTheDocumentedRules)
{
    const std::vector<std::pair<std::string, Strings>> cases = {
        {R"(p "abc" d e)", {"p", "abc", "d", "e"}},
        {R"(p a\\\b d"e f"g h)", {"p", R"(a\\\b)", "de fg", "h"}},
        {R"(p a\\\"b c d)", {"p", R"(a\"b)", "c", "d"}},
        {R"(p a\\\\"b c" d e)", {"p", R"(a\\b c)", "d", "e"}},
        {R"(p \\ \ a\)", {"p", R"(\\)", R"(\)", R"(a\)"}},
        {R"(p \"x\")", {"p", R"("x")"}},
        {"p \t a\t\tb  ", {"p", "a", "b"}},
        {R"(p "" "")", {"p", "", ""}},
        {R"(p a""b)", {"p", "ab"}},
        {R"(p "open to the end)", {"p", "open to the end"}},
        {R"(p "C:\Games\ x\\" -temp)", {"p", R"(C:\Games\ x\)", "-temp"}},
        // Two quotes inside a quoted run: one literal quote, and the run goes on.
        {R"(p a"b"" c d)", {"p", R"(ab" c d)"}},
        {R"(p "a""b c" d)", {"p", R"(a"b c)", "d"}},
        {R"(p """)", {"p", R"(")"}},
        {R"(p """ x)", {"p", R"(" x)"}},
        {R"(p """" x)", {"p", R"(")", "x"}},
        {R"(p """""" x)", {"p", R"("")", "x"}},
    };
    for (const auto& [line, expected] : cases)
        EXPECT_EQ(SplitLine(line), expected) << line;
}

TEST(CommandLineTest, ProgramNameFollowsItsOwnRules)
{
    const std::vector<std::pair<std::string, Strings>> cases = {
        {R"("C:\Program Files\Zyrel\ZyrelDownloader.exe" -temp x)",
         {R"(C:\Program Files\Zyrel\ZyrelDownloader.exe)", "-temp", "x"}},
        {R"(C:\a\"b c)", {R"(C:\a\"b)", "c"}},
        {R"(p\\"a b" c)", {R"(p\\"a)", "b c"}},
        {R"("p q"r s)", {"p q", "r", "s"}},
        {R"("p q""r" s)", {"p q", "r", "s"}},
        {R"("unterminated name)", {"unterminated name"}},
        {R"("" a)", {"", "a"}},
        {" a b", {"", "a", "b"}},
        {"p\nq r", {"p", "q", "r"}},
        {std::string("p\x01q", 3), {"p", "q"}},
        {"p", {"p"}},
        {"p   ", {"p"}},
    };
    for (const auto& [line, expected] : cases)
        EXPECT_EQ(SplitLine(line), expected) << line;

    const Strings own = U(SplitCommandLine(VXN_W("")));
    ASSERT_EQ(own.size(), 1u) << "an empty command line names the running program";
    EXPECT_NE(own[0].find("CommandLineTest"), std::string::npos) << own[0];
    EXPECT_EQ(U(SplitCommandLine(nullptr)).size(), 1u);
}

TEST(CommandLineTest, ParametersSplitLikeTheRestOfACommandLine)
{
    for (const std::string parameters :
         {R"(-temp "C:\a b\\" x)", R"(  lead and trail  )", R"("" "" a\"b "c""d")", "", "   "}) {
        Strings expected = SplitLine("p " + parameters);
        expected.erase(expected.begin());
        EXPECT_EQ(SplitParams(parameters), expected) << parameters;
    }
    EXPECT_EQ(SplitParams(R"("quoted program" x)"), (Strings{"quoted program", "x"}))
        << "no program-name rules for parameters";
    EXPECT_TRUE(U(SplitParameters(nullptr)).empty());
}

// ---- the option scan ---------------------------------------------------------------------

TEST(CommandLineTest, OptionsMatchAfterFoldingAndEitherPrefix)
{
    EXPECT_EQ(Options({"-temp", "x"}), (Dump{{"TempDir", "x"}}));
    EXPECT_EQ(Options({"-TEMP", "x"}), (Dump{{"TempDir", "x"}}));
    EXPECT_EQ(Options({"/Temp", "x"}), (Dump{{"TempDir", "x"}}));
    EXPECT_EQ(Options({"-tempdir", "x"}), Dump{}) << "names match whole";
    EXPECT_EQ(Options({"--temp", "x"}), Dump{}) << "a doubled prefix makes the name -temp";
    EXPECT_EQ(Options({"-", "/", "", "temp", "x"}), Dump{});

    EXPECT_EQ(Options({"-existing", "D:\\Zyrel", "-temp", "T", "-language", "DE", "-username", "Who",
                       "-downloadurl", "http://H/Z.exe", "-proxy", "P:8", "-proxybypass", "*.Local",
                       "-singlegame", "G1", "-installgame", "G2", "-depot", "Dp"}),
              (Dump{{"ExistingDir", "D:\\Zyrel"}, {"TempDir", "T"}, {"Language", "DE"}, {"UserName", "Who"},
                    {"DownloadUrl", "http://H/Z.exe"}, {"Proxy", "P:8"}, {"ProxyBypass", "*.Local"},
                    {"SingleGameId", "G1"}, {"InstallGame", "G2"}, {"Depot", "Dp"}}))
        << "values are taken unchanged, capitals included";
    EXPECT_EQ(Options({"-SelfUpdate", "/PORTABLE", "-steam", "-automatic"}),
              (Dump{{"SelfUpdate", "true"}, {"PortableInstallation", "true"}, {"UseSteam", "true"},
                    {"Automatic", "true"}}));
}

TEST(CommandLineTest, ValuesRepeatsAndStrayArguments)
{
    EXPECT_EQ(Options({"-language", "-debug"}), (Dump{{"Language", "-debug"}}));
    const Scanned not_debug = Scan({"-language", "-debug"});
    EXPECT_EQ(not_debug.waits, 0) << "-debug as a value does not ask for a debugger";
    EXPECT_EQ(not_debug.variable, "<unset>");

    EXPECT_EQ(Options({"-temp", "a", "-temp", "b"}), (Dump{{"TempDir", "b"}})) << "the last one wins";
    EXPECT_EQ(Options({"-selfupdate", "extra"}), (Dump{{"SelfUpdate", "true"}})) << "flags take no value";
    EXPECT_EQ(Options({"-steam", "-DEPOT"}), (Dump{{"UseSteam", "true"}})) << "a last value option is ignored";
    EXPECT_EQ(Options({"-depot"}), Dump{});
    EXPECT_EQ(Options({"-temp", ""}), (Dump{{"TempDir", ""}})) << "an empty value is a value";

    const Scanned folded = Scan({"-TEMP", "Value", "STRAY", "/PorTable", "-Language"});
    EXPECT_EQ(folded.vector, (Strings{"ZyrelDownloader.exe", "-temp", "Value", "stray", "/portable", "-language"}))
        << "visited arguments are folded in place; a taken value is skipped, argument 0 never looked at";
}

TEST(CommandLineTest, DebugWaitsOnceThenMarksTheEnvironment)
{
    const Scanned debug = Scan({"-debug", "-steam", "/DEBUG"});
    EXPECT_EQ(debug.waits, 1);
    EXPECT_EQ(debug.variable, "true");
    EXPECT_EQ(debug.store, (Dump{{"UseSteam", "true"}, {"Arguments", "-debug -steam /DEBUG "}}))
        << "-debug writes no setting";

    const Scanned none = Scan({"-steam"});
    EXPECT_EQ(none.waits, 0);
    EXPECT_EQ(none.variable, "<unset>");
}

TEST(CommandLineTest, ArgumentsAreAlwaysWrittenInTheCaseTheyWereTyped)
{
    EXPECT_EQ(Scan({}).store, (Dump{{"Arguments", ""}}));
    Settings::Clear();
    ArgumentList nothing;
    ScanArguments(nothing, nullptr);
    EXPECT_EQ(StoreContents(), (Dump{{"Arguments", ""}})) << "an empty vector, as when the split fails";
    Settings::Clear();

    EXPECT_EQ(Scan({"-TEMP", "X", "-Language", "DE"}).store.at("Arguments"), "-TEMP X -Language DE ");
}

// ---- the passthrough text ----------------------------------------------------------------

TEST(CommandLineTest, PassthroughKeepsPlainArgumentsAsTheyWere)
{
    EXPECT_EQ(Passthrough({"a", "p q", ""}), R"(a "p q" "" )");
    EXPECT_EQ(Passthrough({}), "");
    EXPECT_EQ(Passthrough({"-temp", R"(C:\Program Files\Zyrel)", R"(C:\Games\)", R"(\\server\share)", "é"}),
              R"(-temp "C:\Program Files\Zyrel" C:\Games\ \\server\share é )");
}

TEST(CommandLineTest, PassthroughLeavesOutAValueOptionWithoutItsValue)
{
    EXPECT_EQ(Passthrough({"-portable", "-temp"}), "-portable ");
    EXPECT_EQ(Passthrough({"-language", "de", "/USERNAME"}), "-language de ");
    EXPECT_EQ(Passthrough({"-username", "-temp"}), "-username -temp ") << "-temp is the value here";
    EXPECT_EQ(Passthrough({"-username", "-temp", "-depot"}), "-username -temp ");
    EXPECT_EQ(Passthrough({"-portable"}), "-portable ") << "a flag takes no value";
    EXPECT_EQ(Scan({"-steam", "-depot"}).store.at("Arguments"), "-steam ");
}

TEST(CommandLineTest, PassthroughQuotesWhatWouldOtherwiseBreak)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"(C:\Games\ x\)", R"("C:\Games\ x\\" )"},
        {R"(a b\\)", R"("a b\\\\" )"},
        {R"(say "hi")", R"("say \"hi\"" )"},
        {R"(a"b)", R"("a\"b" )"},
        {R"(a\"b)", R"("a\\\"b" )"},
        {R"(")", R"("\"" )"},
        {"a\tb", "\"a\tb\" "},
        {R"(\)", R"(\ )"},
    };
    for (const auto& [argument, expected] : cases) {
        EXPECT_EQ(Passthrough({argument}), expected) << argument;
        EXPECT_EQ(SplitParams(Passthrough({argument}) + R"(-temp "T")"), (Strings{argument, "-temp", "T"}))
            << argument << ": the next option survives";
    }
}

TEST(CommandLineTest, PassthroughRoundTripsRandomArguments)
{
    const std::vector<std::string> pieces = {"a",  "Z", "-", "/",  " ",  "\t", "\\", "\\\\", "\"",
                                             "\"\"", "é", "中", "😀", "x y", "=",  ";",  "'"};
    std::mt19937 generator(20240605u); // fixed start value: the same arguments on every run
    std::uniform_int_distribution<std::size_t> length(0, 10);
    std::uniform_int_distribution<std::size_t> piece(0, pieces.size() - 1);

    Strings all;
    for (int i = 0; i < 400; ++i) {
        std::string argument;
        for (std::size_t n = length(generator); n > 0; --n)
            argument += pieces[piece(generator)];
        all.push_back(argument);
        ASSERT_EQ(SplitParams(Passthrough({argument})), Strings{argument}) << "[" << argument << "]";
    }
    for (std::size_t start = 0; start < all.size(); start += 4) {
        const Strings group(all.begin() + static_cast<std::ptrdiff_t>(start),
                            all.begin() + static_cast<std::ptrdiff_t>(start + 4));
        Strings expected = group;
        expected.insert(expected.end(), {"-temp", R"(C:\Temp\ZyrelDownloader-1)"});
        // The relaunch appends its own option after the passthrough text.
        EXPECT_EQ(SplitParams(Passthrough(group) + R"( -temp "C:\Temp\ZyrelDownloader-1")"), expected);
    }
}

// ---- a real child ------------------------------------------------------------------------

// The helper prints values with \\, \r, \n and \t escaped.
std::string Unescaped(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            out += next == 'r' ? '\r' : next == 'n' ? '\n' : next == 't' ? '\t' : next;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The settings lines a launcher_settings child printed, unescaped, without the compiled-in
// address.
Dump ChildSettings(const std::string& output, std::string* environment_line = nullptr)
{
    Dump settings;
    for (const std::string& line : zyrel_test::lines_of(output)) {
        if (line.rfind(DebuggerVariable, 0) == 0) {
            if (environment_line != nullptr)
                *environment_line = line;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            settings[line] = "<line>";
            continue;
        }
        settings[line.substr(0, equals)] = Unescaped(line.substr(equals + 1));
    }
    settings.erase("DownloadUrl");
    return settings;
}

// Runs launcher_settings with its debugger wait faked: on Windows with the command line
// text, on Linux with the same arguments as a vector.
zyrel_test::child_result RunHelper(const std::string& parameters_or_line, const Strings& arguments)
{
    zyrel_test::child_options options;
    options.environment = {"ZYREL_TEST_FAKE_DEBUGGER=1"};
#if defined(_WIN32)
    const vxn::wstring line = W("\"" + zyrel_test::to_utf8(zyrel_test::test_program("launcher_settings")) + "\" " +
                                parameters_or_line);
    options.command_line.assign(line.c_str(), line.size());
#else
    (void)parameters_or_line;
#endif
    return RunSettingsHelper(arguments, options);
}

TEST(CommandLineTest, RealChildReceivesScansAndForwardsItsArguments)
{
#if defined(_WIN32)
    const std::string folder = R"(C:\a b)";
    const std::string relaunch_folder = R"(C:\Temp\relaunch dir)";
#else
    const std::string folder = "/tmp/a b";
    const std::string relaunch_folder = "/tmp/relaunch dir";
#endif
    // On Windows the child gets this text; on Linux the same arguments as a vector.
    const std::string line = "-TEMP \"" + folder + "\" -language -debug \"C:\\Games\\ x\\\\\" \"say \\\"hi\\\"\" \"\" \"tab\there\" é";
    const Strings arguments = {"-TEMP", folder, "-language", "-debug", R"(C:\Games\ x\)", R"(say "hi")", "", "tab\there", "é"};
    EXPECT_EQ(SplitParams(line), arguments) << "the Windows text and the Linux vector say the same";

    const zyrel_test::child_result first = RunHelper(line, arguments);
    ASSERT_EQ(first.exit_code, 0) << first.output;
    std::string environment;
    Dump settings = ChildSettings(first.output, &environment);
    const std::string passthrough = settings["Arguments"];
    EXPECT_EQ(SplitParams(passthrough), arguments) << passthrough;
    settings.erase("Arguments");
    EXPECT_EQ(settings, (Dump{{"loaded", "1"}, {"TempDir", folder}, {"Language", "-debug"}}))
        << "no \"debugger wait\" line: -debug was a value";
    EXPECT_EQ(environment, "VXN_WAIT_FOR_DEBUGGER is not set");

    // The relaunch: the passthrough text, then the copy's own folder.
    const std::string relaunch = passthrough + " -temp \"" + relaunch_folder + "\"";
    const zyrel_test::child_result second = RunHelper(relaunch, SplitParams(relaunch));
    ASSERT_EQ(second.exit_code, 0) << second.output;
    Dump relaunched = ChildSettings(second.output);
    EXPECT_EQ(relaunched["Arguments"], passthrough + "-temp \"" + relaunch_folder + "\" ");
    relaunched.erase("Arguments");
    EXPECT_EQ(relaunched, (Dump{{"loaded", "1"}, {"TempDir", relaunch_folder}, {"Language", "-debug"}}))
        << "the copy sees the same options, and its own folder last";
}

TEST(CommandLineTest, ChildrenStartedAfterADebugWaitInheritTheMark)
{
    const zyrel_test::scoped_variable unmarked(DebuggerVariable, nullptr);
    const zyrel_test::child_result child = RunHelper("-debug -Steam", {"-debug", "-Steam"});
    ASSERT_EQ(child.exit_code, 0) << child.output;
    const Strings lines = zyrel_test::lines_of(child.output);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "debugger wait") << "the wait comes after the scan, before anything else";
    EXPECT_EQ(lines.back(), "VXN_WAIT_FOR_DEBUGGER=true") << "printed by a process the child started afterwards";
    std::string environment;
    const Dump settings = ChildSettings(child.output, &environment);
    EXPECT_EQ(settings.at("UseSteam"), "true");
    EXPECT_EQ(zyrel_test::variable(DebuggerVariable), "<unset>") << "the test process itself is untouched";
}

// ---- the system's own splitter -----------------------------------------------------------

#if defined(_WIN32)

Strings SystemSplit(const std::string& line)
{
    Strings out;
    int count = 0;
    const vxn::wstring wide = W(line);
    LPWSTR* vector = CommandLineToArgvW(wide.c_str(), &count);
    if (vector == nullptr)
        return {"<failed>"};
    for (int i = 0; i < count; ++i)
        out.push_back(U(vxn::wstring(vector[i])));
    LocalFree(vector);
    return out;
}

TEST(CommandLineTest, SplitterAgreesWithTheSystemOnRandomCommandLines)
{
    const std::vector<std::string> programs = {"p", R"("C:\Program Files\Zyrel\ZyrelDownloader.exe")",
                                               R"(C:\Zyrel\ZyrelDownloader.exe)", R"("p q"r)", R"(a\"b)"};
    const std::vector<std::string> pieces = {"a", "b", " ", "  ", "\t", "\\", "\\\\", "\"", "é", "-temp", "\\\""};
    std::mt19937 generator(20240611u); // fixed start value
    std::uniform_int_distribution<std::size_t> length(0, 24);
    std::uniform_int_distribution<std::size_t> piece(0, pieces.size() - 1);
    std::uniform_int_distribution<std::size_t> program(0, programs.size() - 1);

    int compared = 0;
    for (int i = 0; i < 3000; ++i) {
        std::string body;
        for (std::size_t n = length(generator); n > 0; --n)
            body += pieces[piece(generator)];
        // Two quotes in a row are the one construct where Wine keeps the older rule; they
        // have their own test below. Everything else must agree exactly.
        for (std::size_t at = body.find("\"\""); at != std::string::npos; at = body.find("\"\""))
            body.insert(at + 1, "a");
        const std::string line = programs[program(generator)] + " " + body;
        EXPECT_EQ(SplitLine(line), SystemSplit(line)) << "[" << line << "]";
        ++compared;
    }
    EXPECT_EQ(compared, 3000);
}

TEST(CommandLineTest, DoubledQuotesAndControlCharactersFollowWindowsNotWine)
{
    struct Corner {
        std::string line;
        Strings windows;
        Strings wine; // Wine 8 keeps the rule of older runtimes here
    };
    const std::vector<Corner> corners = {
        {R"(p "a""b c" d)", {"p", R"(a"b c)", "d"}, {"p", R"(a"b)", "c d"}},
        {R"(p """ x)", {"p", R"(" x)"}, {"p", R"(")", "x"}},
        {R"(p """" x)", {"p", R"(")", "x"}, {"p", R"(" x)"}},
        {"p\nq r", {"p", "q", "r"}, {"p\nq", "r"}},
    };
    const bool wine = zyrel_test::running_under_wine();
    for (const Corner& corner : corners) {
        EXPECT_EQ(SplitLine(corner.line), corner.windows) << corner.line;
        EXPECT_EQ(SystemSplit(corner.line), wine ? corner.wine : corner.windows) << corner.line;
    }
}

#endif

} // namespace

namespace {

UnixCommand Find(const std::vector<const char*>& argv)
{
    return FindUnixCommand(static_cast<int>(argv.size()), argv.data());
}

} // namespace

// --help, -h and --version count only as the one argument, spelled exactly; the scan itself
// ignores them as it ignores every unknown option.
TEST(UnixCommandWords, OnlyTheOneExactArgument)
{
    EXPECT_EQ(Find({"ZyrelDownloader", "--help"}), UnixCommand::Help);
    EXPECT_EQ(Find({"ZyrelDownloader", "-h"}), UnixCommand::Help);
    EXPECT_EQ(Find({"ZyrelDownloader", "--version"}), UnixCommand::Version);
    EXPECT_EQ(Find({"ZyrelDownloader"}), UnixCommand::None);
    EXPECT_EQ(Find({"ZyrelDownloader", "--version", "-temp"}), UnixCommand::None);
    EXPECT_EQ(Find({"ZyrelDownloader", "-language", "--help"}), UnixCommand::None);
    for (const char* other : {"--HELP", "-H", "/h", "-help", "/version", "--version=1", ""})
        EXPECT_EQ(Find({"ZyrelDownloader", other}), UnixCommand::None) << other;
    EXPECT_EQ(FindUnixCommand(0, nullptr), UnixCommand::None);

    EXPECT_TRUE(Options({"--help", "-h", "--version"}).empty());
    EXPECT_TRUE(UnixCommandText(UnixCommand::None).empty());
}
