#include <gtest/gtest.h>

#include "platform/cmdsplit.h"
#include "platform/host.h"
#include "twips/twips.h"

namespace {

using namespace std::string_view_literals;

std::string show(const QStringList &words) { return words.join(u'|').toStdString(); }
TEST(SplitWindowsCommandLine, MicrosoftRules) {
    const struct {
        std::u16string_view line;  // may hold NUL
        QStringList words;
    } cases[] = {
        {u""sv, {}},
        {u"   \t "sv, {}},
        {u"127.0.0.1"sv, {"127.0.0.1"}},
        {u" 127.0.0.1"sv, {"127.0.0.1"}},
        {u"a b\tc"sv, {"a", "b", "c"}},
        {u"\"my host\""sv, {"my host"}},
        {u"\"\""sv, {""}},
        {u"a\"b c\"d"sv, {"ab cd"}},
        {u"\"a\"\"b\""sv, {"a\"b"}},  // "" inside quotes: a literal quote, still quoted
        {u"\"a\"\"b c\""sv, {"a\"b c"}},
        {u"a\\\\\"b c\""sv, {"a\\b c"}},  // 2n backslashes: n, then a grouping quote
        {u"a\\\"b c"sv, {"a\"b", "c"}},   // 2n+1: n and a literal quote
        {u"a\\\\\\\"b"sv, {"a\\\"b"}},
        {u"a\\b\\\\c"sv, {"a\\b\\\\c"}},  // backslashes not before a quote are literal
        {u"\"unterminated b"sv, {"unterminated b"}},
        {u"a\u0000b c"sv, {"a"}},  // the line ends at NUL
        {u"127.0.0.1; touch /tmp/x"sv, {"127.0.0.1;", "touch", "/tmp/x"}},
        {u"-n 3 host"sv, {"-n", "3", "host"}},
    };
    for (const auto &c : cases) {
        const QString line = QStringView(c.line).toString();
        SCOPED_TRACE(line.toStdString());
        EXPECT_EQ(show(splitWindowsCommandLine(line)), show(c.words));
    }
}

// What a click asks for, and the words a ping that takes words is given: the address alone,
// split as a Windows program splits its command line.
TEST(Host, CommandLineWordsAndTitle) {
    const struct {
        const char16_t *label, *address, *commandLine;
        QStringList words;
        const char16_t *title;
    } cases[] = {
        {u"Gateway", u"127.0.0.1", u"ping.exe -t 127.0.0.1", {"127.0.0.1"}, u"Gateway - 127.0.0.1"},
        {u"", u" 127.0.0.1", u"ping.exe -t  127.0.0.1", {"127.0.0.1"}, u" 127.0.0.1"},
        {u"x", u"", u"ping.exe -t ", {}, u"x - "},  // empty: ping shows its usage
        {u"a", u"b=c", u"ping.exe -t b=c", {"b=c"}, u"a - b=c"},
        {u"", u"-t 5 host", u"ping.exe -t -t 5 host", {"-t", "5", "host"}, u"-t 5 host"},
        {u"", u"\"my host\"", u"ping.exe -t \"my host\"", {"my host"}, u"\"my host\""},
        {u"",
         u"$(touch x) `id` a|b&c",
         u"ping.exe -t $(touch x) `id` a|b&c",
         {"$(touch", "x)", "`id`", "a|b&c"},
         u"$(touch x) `id` a|b&c"},
    };
    for (const auto &c : cases) {
        const Host host{QString::fromUtf16(c.label), QString::fromUtf16(c.address)};
        SCOPED_TRACE(host.address.toStdString());
        EXPECT_EQ(host.commandLine(), QString::fromUtf16(c.commandLine));
        EXPECT_EQ(show(host.words()), show(c.words));
        EXPECT_EQ(host.title(), QString::fromUtf16(c.title));
    }
}

// A check pings the host alone, never the options a list author put around it, nor their values.
TEST(Host, CheckTargetIsTheLastWordThatIsNoOptionNorItsValue) {
    const struct {
        const char *address, *target;
    } cases[] = {
        {"127.0.0.1", "127.0.0.1"},
        {" 127.0.0.1", "127.0.0.1"},
        {"-l 1000 127.0.0.1", "127.0.0.1"},
        {"127.0.0.1 -n 5", "127.0.0.1"},
        {"-I eth0 127.0.0.1", "127.0.0.1"},  // the last candidate word, not the first
        {"\"my host\" -w 500", "my host"},
        {"::1", "::1"},
        {"b=c", "b=c"},
        {"-w 5", ""},
        {"", ""},
        {"\"\" -t", ""},
        {"2130706433", ""},  // a plain number is taken for an option's value
        {"127.0.0.1 -I lo", "127.0.0.1"},
        {"127.0.0.1 -M do", "127.0.0.1"},
        {"127.0.0.1 -S 10.0.0.5", "127.0.0.1"},
        {"127.0.0.1 -nIlo", "127.0.0.1"},  // joined as getopt reads them
        {"127.0.0.1 -nI lo", "127.0.0.1"},
        {"-I lo -- 127.0.0.1", "127.0.0.1"},  // and after "--", no option
        {"-t 127.0.0.1", "127.0.0.1"},        // Windows' flag, a TTL on Linux
        {"-n 127.0.0.1", "127.0.0.1"},        // Linux's flag, a count on Windows
        {"127.0.0.1 /n 5", "127.0.0.1"},      // Windows' way of writing its options
        {"-I lo", "lo"},  // no ping reads a host: the word that is none of the options it knows
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(Host({}, QString::fromUtf8(c.address)).checkTarget().toStdString(), c.target);
    }
}

// A port row is one word HOST:PORT or [IPv6]:PORT; everything else still goes to ping.
TEST(Host, PortRowsAreOneWordWithAPortInRange) {
    const struct {
        const char *address, *host;
        int port;  // 0: not a port row
    } cases[] = {
        {"127.0.0.1:8080", "127.0.0.1", 8080},
        {"web.example.lan:443", "web.example.lan", 443},
        {"\"localhost:1\"", "localhost", 1},
        {"localhost:65535", "localhost", 65535},
        {"[::1]:22", "::1", 22},
        {"[fe80::1%eth0]:22", "fe80::1%eth0", 22},
        {"[::ffff:127.0.0.1]:80", "::ffff:127.0.0.1", 80},
        {"localhost:0", "", 0},
        {"localhost:65536", "", 0},
        {"localhost:099999", "", 0},
        {"localhost:", "", 0},
        {"localhost:+80", "", 0},
        {"::1", "", 0},
        {"fe80::1%eth0", "", 0},
        {"a::1:80", "", 0},  // two colons: an IPv6 address needs brackets
        {"[::1]", "", 0},
        {"[not;ipv6]:80", "", 0},
        {"[::1;reboot]:80", "", 0},
        {"-p:80", "", 0},  // a leading "-" would be taken for an option
        {"127.0.0.1:80 -n 5", "", 0},
        {"host:80;reboot", "", 0},
        {"$(x):80", "", 0},
        {"127.0.0.1", "", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.address);
        const std::optional<PortTarget> target =
            Host({}, QString::fromUtf8(c.address)).portTarget();
        EXPECT_EQ(target.has_value(), c.port != 0);
        if (target) {
            EXPECT_EQ(target->host.toStdString(), c.host);
            EXPECT_EQ(target->port, c.port);
        }
    }
}

TEST(Twips, EdgesAreConvertedSoBoxesTouch) {
    // Rows at 40 + 375 k: converted sizes would drift, converted edges never leave a gap.
    for (int k = 0; k < 86; ++k) {
        const QRect row = toPixels({30, 40.0 + 375 * k, 2800, 375});
        const QRect next = toPixels({30, 40.0 + 375 * (k + 1), 2800, 375});
        ASSERT_EQ(row.bottom() + 1, next.top()) << k;
    }
    EXPECT_EQ(toPixels({1845, 120, 1380, 375}), QRect(123, 8, 92, 25));
    EXPECT_EQ(toPixels({100, 122.5, 2800, 375}), QRect(7, 8, 186, 25));
    EXPECT_EQ(twipsToPixels(3375), 225);
}

}  // namespace
