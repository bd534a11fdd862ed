// The scan blacklist takes MAC addresses and vendor prefixes only, in one
// spelling, so that what the sensor receives is a list of addresses.
#include <sqlite3.h>

#include "HostTestSupport.h"

namespace {

using namespace morvhost_test;

class BlacklistEntryTest : public HostFolderTest {
protected:
    void SetUp() override { InitHost(); }
    Outcome Blacklist(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "blacklist");
        return OnDb(arguments);
    }
    // An entry as an older host stored it, in a spelling of its own.
    void StoreAsIs(const std::string& entry) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(db_.c_str(), &db), SQLITE_OK);
        sqlite3_stmt* insert = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "INSERT INTO ZELKScanBlacklist (MACorOUI) VALUES (?)", -1, &insert, nullptr),
                  SQLITE_OK);
        sqlite3_bind_text(insert, 1, entry.c_str(), -1, SQLITE_TRANSIENT);
        EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_finalize(insert);
        sqlite3_close(db);
    }
};

TEST_F(BlacklistEntryTest, EveryUsualSpellingIsStoredInTheOneTheSensorReceives) {
    Outcome added = Blacklist({"add", "00-a0-c9", "0011223344ff", " 00:1b:63 "});
    ASSERT_EQ(added.status, 0) << added.err;
    EXPECT_EQ(added.out, "added 00:A0:C9\nadded 00:11:22:33:44:FF\nadded 00:1B:63\n");
    for (const char* again : {"00:A0:C9", "00a0c9", "00-A0-C9", "00:a0:c9 ", "00-11-22-33-44-ff"}) {
        Outcome outcome = Blacklist({"add", again});
        EXPECT_EQ(outcome.status, 0) << again;
        EXPECT_TRUE(Contains(outcome.out, "already in the blacklist: ")) << again << ": " << outcome.out;
    }
    EXPECT_EQ(Blacklist({"list"}).out, "00:A0:C9\n00:11:22:33:44:FF\n00:1B:63\n");
    Outcome removed = Blacklist({"remove", "00a0c9"});
    EXPECT_EQ(removed.status, 0) << removed.err;
    EXPECT_EQ(removed.out, "removed 00:A0:C9\n");
    EXPECT_EQ(Blacklist({"list"}).out, "00:11:22:33:44:FF\n00:1B:63\n");
}

TEST_F(BlacklistEntryTest, WhatIsNoAddressIsRefusedAndNothingIsAdded) {
    for (const std::string& entry :
         {std::string("00:11:22|00:A0:C9"), std::string("O'Brien"), std::string("00:11"), std::string("00:11:22:33"),
          std::string("00:11-22"), std::string("0:1:2"), std::string("00:11:2G"), std::string("00 11 22"),
          std::string(30, 'x'), std::string("00:11:22:33:44:55:66")}) {
        Outcome outcome = Blacklist({"add", "00:A0:C9", entry});
        EXPECT_EQ(outcome.status, 1) << entry;
        EXPECT_EQ(outcome.err, "morvhost: the blacklist entry '" + entry +
                                   "' is neither a MAC address nor a vendor prefix (write 00:11:22:33:44:55 or "
                                   "00:11:22; '-' or nothing may stand for ':')\n")
            << entry;
        EXPECT_EQ(outcome.out, "") << entry;
    }
    EXPECT_EQ(Blacklist({"list"}).out, "") << "a refused entry stops the whole command";
}

TEST_F(BlacklistEntryTest, EntriesStoredInAnotherSpellingAreFoundAndCanBeRemoved) {
    StoreAsIs("00a0c9");
    StoreAsIs("00:11:22 ");
    StoreAsIs("aa:bb:cc|dd:ee:ff");
    Outcome again = Blacklist({"add", "00:A0:C9", "00-11-22"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, "already in the blacklist: 00a0c9\nalready in the blacklist: 00:11:22 \n");

    Outcome removed = Blacklist({"remove", "00-A0-C9", "00:11:22", "aa:bb:cc|dd:ee:ff"});
    EXPECT_EQ(removed.status, 0) << removed.err;
    EXPECT_EQ(removed.out, "removed 00a0c9\nremoved 00:11:22 \nremoved aa:bb:cc|dd:ee:ff\n");
    EXPECT_EQ(Blacklist({"list"}).out, "");

    Outcome unknown = Blacklist({"remove", "not|stored"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(Contains(unknown.err, "is neither a MAC address nor a vendor prefix")) << unknown.err;
    Outcome absent = Blacklist({"remove", "00a0c9"});
    EXPECT_EQ(absent.status, 1);
    EXPECT_EQ(absent.err, "morvhost: not in the blacklist: 00:A0:C9\n");
}

TEST_F(BlacklistEntryTest, TheLengthLimitCountsCharactersAndALongEntryIsShortened) {
    std::string accented;
    for (int i = 0; i < 30; ++i) accented += "\xC3\xA9";
    Outcome thirty = Blacklist({"add", accented});
    EXPECT_EQ(thirty.status, 1);
    EXPECT_TRUE(Contains(thirty.err, "is neither a MAC address nor a vendor prefix")) << thirty.err;
    EXPECT_FALSE(Contains(thirty.err, "longer than")) << "30 characters are within the limit";

    std::string huge(10000, 'A');
    Outcome outcome = Blacklist({"add", huge});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err,
              "morvhost: the blacklist entry 'AAAAAAAAAAAAAAAAAAAA\xE2\x80\xA6' (10000 characters) "
              "is longer than 50 characters\n");

    std::string accentedHuge;
    for (int i = 0; i < 60; ++i) accentedHuge += "\xC3\xA9";
    Outcome cut = Blacklist({"add", accentedHuge});
    EXPECT_EQ(cut.status, 1);
    std::string twenty;
    for (int i = 0; i < 20; ++i) twenty += "\xC3\xA9";
    EXPECT_EQ(cut.err, "morvhost: the blacklist entry '" + twenty +
                           "\xE2\x80\xA6' (60 characters) is longer than 50 "
                           "characters\n");
}

}  // namespace
