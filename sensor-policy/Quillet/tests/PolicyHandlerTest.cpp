// ProcessPolicy through the COM interface, as the host calls it: Quillet
// activated by CLSID, a reference database seeded through SQL, the statement
// log of the connection and the trace records of each call.
#include <gtest/gtest.h>

#include <string>

#include "PolicyHandler.h"
#include "QuilletTestSupport.h"

namespace {

using comsupport::Bstr;
using comsupport::ComRef;
using quillet_test::TestDatabase;
using quillet_test::TraceCapture;

std::string DetectionPolicy(const std::string& subnet, const std::string& fingerprinting, const char* scanExceptions) {
    std::string policy =
        "<Policy><Section name=\"Detection\">"
        "<Setting name=\"SubnetScanEnabled\">" +
        subnet +
        "</Setting>"
        "<Setting name=\"OSFingerprintingEnabled\">" +
        fingerprinting + "</Setting>";
    if (scanExceptions)
        policy += "<Setting name=\"ScanSystemsMarkedAsException\">" + std::string(scanExceptions) + "</Setting>";
    return policy + "</Section></Policy>";
}

class PolicyHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        handler_ = quillet_test::ActivateQuillet();
        connection_ = database_.Connect();
    }

    // Calls ProcessPolicy; `output` receives XMLOut, which stays "<untouched>" unless written.
    HRESULT Process(const std::string& policy, std::string& output, IUnknown* connection) {
        Bstr in = Bstr::FromUtf8(policy);
        Bstr sentinel(OLESTR("<untouched>"));
        BSTR out = sentinel.Get();
        Bstr empty(OLESTR(""));
        HRESULT hr = handler_->ProcessPolicy(connection, 17, empty.Get(), empty.Get(), empty.Get(), in.Get(), &out);
        output = out == sentinel.Get() ? std::string("<untouched>") : Bstr::Attach(out).Utf8();
        return hr;
    }
    HRESULT Process(const std::string& policy, std::string& output) {
        return Process(policy, output, connection_.Get());
    }

    void SeedBlacklist() {
        database_.Exec("INSERT INTO ZELKScanBlacklist (MACorOUI) VALUES ('00:11:22:33:44:55'), ('00:A0:C9');");
    }
    void SeedExceptions() {
        database_.Exec(
            "INSERT INTO ZELKDetectedSystemProperties (MAC, Exception, DetectionType) VALUES "
            "('AABBCCDDEEFF', 1, 'detectedSystem'), ('111111111111', 0, 'detectedSystem'), "
            "('222222222222', 1, 'otherType'), ('0A0B0C0D0E0F', 1, 'detectedSystem');");
    }

    TestDatabase database_;
    TraceCapture trace_;
    ComRef<IMORVAgentPolicyHandler> handler_;
    ComRef<_ADOConnection> connection_;
};

TEST_F(PolicyHandlerTest, BothScanSettingsOnAddsBlacklistAndExceptionsWithTheExactQueries) {
    SeedBlacklist();
    SeedExceptions();
    std::string out;
    ASSERT_EQ(Process(DetectionPolicy("1", "1", "0"), out), S_OK);
    EXPECT_NE(out.find("<Section name=\"Exceptions\">"
                       "<Setting name=\"ScanBlacklist\">00:11:22:33:44:55|00:A0:C9</Setting>"
                       "<Setting name=\"ExceptionScanBlacklist\">AABBCCDDEEFF|0A0B0C0D0E0F</Setting>"
                       "</Section></Policy>"),
              std::string::npos)
        << out;
    EXPECT_EQ(database_.StatementTexts(),
              (std::vector<std::string>{"select MACorOUI from ZELKScanBlacklist",
                                        "select MAC from ZELKDetectedSystemProperties where [Exception] = 1 AND "
                                        "[DetectionType] = N'detectedSystem'"}));
    EXPECT_NE(database_.StatementLog().find("\"type\":\"text\""), std::string::npos);
    EXPECT_TRUE(trace_.Records().empty()) << "an edited policy is not traced";
}

TEST_F(PolicyHandlerTest, ListTextSkipsNullRowsAndKeepsEmptyItems) {
    // The host's own table may hold NULLs; the reference one forbids them.
    database_.Exec(
        "DROP TABLE ZELKScanBlacklist; CREATE TABLE ZELKScanBlacklist (MACorOUI nvarchar(50));"
        "INSERT INTO ZELKScanBlacklist VALUES ('A'), (NULL), (''), ('B');");
    database_.Exec(
        "INSERT INTO ZELKDetectedSystemProperties (MAC, Exception) VALUES (NULL, 1), ('X', 1), ('', 1), (NULL, 1);");
    std::string out;
    ASSERT_EQ(Process(DetectionPolicy("1", "1", "0"), out), S_OK);
    EXPECT_NE(out.find("<Setting name=\"ScanBlacklist\">A||B</Setting>"), std::string::npos) << out;
    EXPECT_NE(out.find("<Setting name=\"ExceptionScanBlacklist\">X|</Setting>"), std::string::npos) << out;
}

TEST_F(PolicyHandlerTest, EmptyBlacklistStillAddsTheSettingWithoutContent) {
    std::string out;
    ASSERT_EQ(Process(DetectionPolicy("1", "1", nullptr), out), S_OK);
    EXPECT_NE(out.find("<Section name=\"Exceptions\"><Setting name=\"ScanBlacklist\"/></Section>"), std::string::npos)
        << out;
}

TEST_F(PolicyHandlerTest, MissingScanExceptionSettingAddsOnlyTheBlacklist) {
    SeedBlacklist();
    SeedExceptions();
    std::string out;
    ASSERT_EQ(Process(DetectionPolicy("1", "1", nullptr), out), S_OK);
    EXPECT_EQ(out.find("ExceptionScanBlacklist"), std::string::npos) << out;
    EXPECT_NE(out.find("00:11:22:33:44:55|00:A0:C9"), std::string::npos);
    EXPECT_EQ(database_.StatementTexts(), (std::vector<std::string>{"select MACorOUI from ZELKScanBlacklist"}));
    auto records = trace_.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].tag, 'I');
    EXPECT_EQ(records[0].text, "Unable to find Policy Setting for Scan exception list");
}

TEST_F(PolicyHandlerTest, ScanExceptionValuesOtherThanZeroAddOnlyTheBlacklist) {
    SeedExceptions();
    for (const char* value : {"1", "false", "", "0 0", "00"}) {
        std::string out;
        ASSERT_EQ(Process(DetectionPolicy("1", "1", value), out), S_OK) << value;
        EXPECT_EQ(out.find("ExceptionScanBlacklist"), std::string::npos) << "'" << value << "'";
        auto records = trace_.Records();
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records.back().text,
                  "Scan items in the Exception list is set, do not add exceptions to the scan blacklist");
    }
}

TEST_F(PolicyHandlerTest, ScanningNotFullyOnLeavesThePolicyAndTheDatabaseAlone) {
    const std::pair<const char*, const char*> settings[] = {{"1", "0"},    {"0", "1"}, {"1 1", "1"}, {"01", "1"},
                                                            {"true", "1"}, {"1", ""},  {"1", "TRUE"}};
    for (auto [subnet, fingerprinting] : settings) {
        std::string out;
        EXPECT_EQ(Process(DetectionPolicy(subnet, fingerprinting, "0"), out), S_FALSE)
            << subnet << "/" << fingerprinting;
        EXPECT_EQ(out, "<untouched>");
        ASSERT_FALSE(trace_.Records().empty());
        EXPECT_EQ(trace_.Records().back().tag, 'I');
        EXPECT_EQ(trace_.Records().back().text,
                  "Do not add anything to this policy, policy settings do not require Exceptions to be added...");
    }
    EXPECT_TRUE(database_.StatementTexts().empty()) << "the database is not touched";
}

// The DOM's text of a setting is normalised as MSXML normalises it on Windows:
// white space around the value does not count.
TEST_F(PolicyHandlerTest, WhiteSpaceAroundASettingsValueIsIgnoredAsOnWindows) {
    SeedBlacklist();
    SeedExceptions();
    std::string out;
    ASSERT_EQ(Process(DetectionPolicy(" 1\n", "\t1 ", " 0 "), out), S_OK) << out;
    EXPECT_NE(out.find("<Setting name=\"ExceptionScanBlacklist\">AABBCCDDEEFF|0A0B0C0D0E0F</Setting>"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("<Setting name=\"ScanBlacklist\">00:11:22:33:44:55|00:A0:C9</Setting>"), std::string::npos)
        << out;
}

TEST_F(PolicyHandlerTest, MissingScanSettingIsReported) {
    std::string out;
    EXPECT_EQ(Process("<Policy><Section name=\"Detection\"><Setting name=\"SubnetScanEnabled\">1</Setting>"
                      "</Section></Policy>",
                      out),
              S_FALSE);
    EXPECT_EQ(out, "<untouched>");
    ASSERT_EQ(trace_.Records().size(), 1u);
    EXPECT_EQ(trace_.Records()[0].tag, 'I');
    EXPECT_EQ(trace_.Records()[0].text, "Unable to find Policy Settings for scanning...");
}

TEST_F(PolicyHandlerTest, PolicyWithoutDetectionSectionIsLeftAlone) {
    std::string out;
    EXPECT_EQ(Process("<Policy><Section name=\"Updates\"><Setting name=\"SubnetScanEnabled\">1</Setting>"
                      "</Section><Setting name=\"OSFingerprintingEnabled\">1</Setting></Policy>",
                      out),
              S_FALSE);
    EXPECT_EQ(out, "<untouched>");
    ASSERT_EQ(trace_.Records().size(), 1u);
    EXPECT_EQ(trace_.Records()[0].tag, 'E');
    EXPECT_EQ(trace_.Records()[0].text, "Unble to load Detection section");
    EXPECT_TRUE(database_.StatementTexts().empty());
}

TEST_F(PolicyHandlerTest, NamespacedDetectionSectionIsNotMatched) {
    std::string out;
    EXPECT_EQ(Process("<Policy xmlns=\"urn:policy\"><Section name=\"Detection\">"
                      "<Setting name=\"SubnetScanEnabled\">1</Setting><Setting name=\"OSFingerprintingEnabled\">1"
                      "</Setting></Section></Policy>",
                      out),
              S_FALSE);
    EXPECT_EQ(trace_.Records().back().text, "Unble to load Detection section");
}

TEST_F(PolicyHandlerTest, TextThatDoesNotLoadIsReported) {
    for (const char* text : {"", "<Policy>", "not xml at all", "<a></b>"}) {
        std::string out;
        EXPECT_EQ(Process(text, out), S_FALSE) << text;
        EXPECT_EQ(out, "<untouched>");
        EXPECT_EQ(trace_.Records().back().tag, 'E');
        EXPECT_EQ(trace_.Records().back().text, "Error loading Sensor Policy snippet");
    }
    BSTR out = nullptr;
    EXPECT_EQ(handler_->ProcessPolicy(connection_.Get(), 0, nullptr, nullptr, nullptr, nullptr, &out), S_FALSE)
        << "a null XMLIn is an empty text";
    EXPECT_EQ(out, nullptr);
}

TEST_F(PolicyHandlerTest, ExistingExceptionsSectionGetsASecondOneAfterTheLastChild) {
    SeedBlacklist();
    std::string policy =
        "<Policy><Section name=\"Exceptions\"><Setting name=\"ScanBlacklist\">keep</Setting></Section>"
        "<Section name=\"Detection\"><Setting name=\"SubnetScanEnabled\">1</Setting>"
        "<Setting name=\"OSFingerprintingEnabled\">1</Setting></Section><Tail/></Policy>";
    std::string out;
    ASSERT_EQ(Process(policy, out), S_OK);
    EXPECT_NE(out.find("<Policy><Section name=\"Exceptions\"><Setting name=\"ScanBlacklist\">keep</Setting></Section>"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("<Tail/><Section name=\"Exceptions\"><Setting name=\"ScanBlacklist\">00:11:22:33:44:55|00:A0:C9"
                       "</Setting></Section></Policy>"),
              std::string::npos)
        << out;
}

TEST_F(PolicyHandlerTest, OnlyTheFirstDetectionSectionCounts) {
    std::string out;
    EXPECT_EQ(Process("<Policy><Section name=\"Detection\"><Setting name=\"SubnetScanEnabled\">0</Setting>"
                      "<Setting name=\"OSFingerprintingEnabled\">1</Setting></Section>"
                      "<Section name=\"Detection\"><Setting name=\"SubnetScanEnabled\">1</Setting>"
                      "<Setting name=\"OSFingerprintingEnabled\">1</Setting></Section></Policy>",
                      out),
              S_FALSE);
    ASSERT_EQ(Process("<Policy><Section name=\"Detection\"><Setting name=\"SubnetScanEnabled\">1</Setting>"
                      "<Setting name=\"OSFingerprintingEnabled\">1</Setting>"
                      "<Setting name=\"SubnetScanEnabled\">0</Setting></Section>"
                      "<Section name=\"Detection\"><Setting name=\"SubnetScanEnabled\">0</Setting></Section></Policy>",
                      out),
              S_OK)
        << "within the section, the first matching setting is read";
}

TEST_F(PolicyHandlerTest, NullConnectionEndsAsComFailureAndDiscardsTheEdit) {
    std::string out;
    EXPECT_EQ(Process(DetectionPolicy("1", "1", "0"), out, nullptr), S_FALSE);
    EXPECT_EQ(out, "<untouched>");
    auto records = trace_.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].tag, 'E');
    EXPECT_EQ(records[0].text.rfind("QuilletObj::ProcessPolicy: hr=0x", 0), 0u) << records[0].text;
    EXPECT_EQ(records[0].text.find("hr=0x00000000"), std::string::npos);
}

TEST_F(PolicyHandlerTest, ConnectionWithoutTheAdoInterfaceIsTreatedAsNone) {
    // Any COM object that is not an ADO connection: the handler's own object.
    std::string out;
    EXPECT_EQ(Process(DetectionPolicy("1", "1", "0"), out, handler_.Get()), S_FALSE);
    EXPECT_EQ(out, "<untouched>");
    EXPECT_EQ(trace_.Records().back().text.rfind("QuilletObj::ProcessPolicy: hr=0x", 0), 0u);
}

TEST_F(PolicyHandlerTest, QueryFailureCarriesTheDatabaseErrorText) {
    database_.Exec("DROP TABLE ZELKScanBlacklist;");
    std::string out;
    EXPECT_EQ(Process(DetectionPolicy("1", "1", "0"), out), S_FALSE);
    EXPECT_EQ(out, "<untouched>");
    std::string text = trace_.Records().back().text;
    EXPECT_EQ(text.rfind("QuilletObj::ProcessPolicy: hr=0x80040E", 0), 0u) << text;
    EXPECT_NE(text.find("ZELKScanBlacklist"), std::string::npos) << "the failing object's description: " << text;
}

TEST_F(PolicyHandlerTest, NullXmlOutIsRefusedBeforeAnyWork) {
    Bstr in = Bstr::FromUtf8(DetectionPolicy("1", "1", "0"));
    EXPECT_EQ(handler_->ProcessPolicy(connection_.Get(), 0, nullptr, nullptr, nullptr, in.Get(), nullptr), E_POINTER);
    EXPECT_TRUE(database_.StatementTexts().empty());
    EXPECT_TRUE(trace_.Records().empty());
}

TEST_F(PolicyHandlerTest, HostIdentifiersDoNotChangeTheResult) {
    SeedBlacklist();
    Bstr in = Bstr::FromUtf8(DetectionPolicy("1", "1", "0"));
    Bstr first, second;
    ASSERT_EQ(handler_->ProcessPolicy(connection_.Get(), 0, nullptr, nullptr, nullptr, in.Get(), first.Receive()),
              S_OK);
    Bstr feature(OLESTR("feature")), category(OLESTR("category")), type(OLESTR("type"));
    ASSERT_EQ(handler_->ProcessPolicy(connection_.Get(), -99, feature.Get(), category.Get(), type.Get(), in.Get(),
                                      second.Receive()),
              S_OK);
    EXPECT_EQ(first.Str(), second.Str());
}

TEST_F(PolicyHandlerTest, OutputIsTheDomSerialisationOfTheWholeDocument) {
    std::string policy =
        "<?xml version=\"1.0\"?>\n<Policy a='x'>\n  <Section name=\"Detection\">"
        "<Setting name=\"SubnetScanEnabled\">1</Setting>"
        "<Setting name=\"OSFingerprintingEnabled\">1</Setting></Section>\n</Policy>";
    std::string out;
    ASSERT_EQ(Process(policy, out), S_OK);
    EXPECT_NE(out.find("<Policy a=\"x\">"), std::string::npos) << "attribute quoting as the DOM writes it:\n" << out;
    EXPECT_NE(out.find("<Section name=\"Detection\">"), std::string::npos);
    EXPECT_NE(out.find("<Section name=\"Exceptions\"><Setting name=\"ScanBlacklist\"/></Section></Policy>"),
              std::string::npos)
        << "the new section is the root's last child:\n"
        << out;
}

}  // namespace
