// The Configure command's decisions as tables: no window, no disk.
#include <gtest/gtest.h>

#include "ConfigureDecisions.h"

using namespace ConfigureDecisions;
using TVNConfigUtil::Comparison;

namespace {

const char* const E2OneDrive = "Create a folder for Tallyvane within the OneDrive location first";
const char* const E2Dropbox = "Create a folder for Tallyvane within the Dropbox location first";
const char* const Unchanged = "Tallyvane is already configured to use this location";
const char* const ForeignRedirection =
    "The locally detected Tallyvane installation uses redirection\r\n"
    "OneDrive configuration will over-write these settings\r\nContinue?";

// What a start compares: "", or "back <first> <second>" when returning to
// the standard location, "into <first> <second>" when moving.
std::string Compared(const Start& start) {
    if (!start.compare)
        return "";
    return std::string(start.direction == Direction::Returning ? "back " : "into ") +
           start.firstRoot + " " + start.secondRoot;
}

// The facts of an installation at "i\": the new folder, the redirection
// and the provider folder, and which of them the disk checks find to be the
// provider's folder, the installation and an installation.
Facts At(const std::string& newFolder, const std::string& redirect, const std::string& provider,
         bool newIsProvider, bool installIs, bool newIs, Provider selected = Provider::OneDrive) {
    return Facts{"i\\", newFolder, redirect, provider, selected, newIsProvider, installIs, newIs};
}

TEST(ConfigureDecisions, WhatTheCommandDoesFirst) {
    const std::string OD = "od\\", cloud = "od\\tvn\\", other = "d:\\x\\";
    using K = Start::Kind;
    struct Row {
        const char* name;
        Facts facts;
        K kind;
        const char* text; // the refusal or the warning
        bool offerProviderFolder;
        std::string compared;
    } rows[] = {
        {"the provider's own folder", At(OD, "", OD, true, true, false), K::RefuseProviderFolder,
         E2OneDrive, false, ""},
        {"Dropbox's own folder", At(OD, "", OD, true, true, false, Provider::Dropbox),
         K::RefuseProviderFolder, E2Dropbox, false, ""},
        // The radio handler put the redirection into the provider folder.
        {"unchanged, as the provider's folder", At(cloud, cloud, cloud, true, true, true),
         K::RefuseProviderFolder, E2OneDrive, false, ""},
        {"unchanged redirection", At(cloud, cloud, OD, false, true, true), K::RefuseUnchanged,
         Unchanged, false, ""},
        {"standard location, not redirected", At("", "", OD, false, true, false),
         K::RefuseUnchanged, Unchanged, true, ""},
        {"into an empty folder", At(cloud, "", OD, false, true, false), K::Go, nullptr, false, ""},
        {"into a folder that holds an installation", At(cloud, "", OD, false, true, true), K::Go,
         nullptr, false, "into i\\ od\\tvn\\"},
        {"from elsewhere into the cloud", At(cloud, other, OD, false, true, false), K::Go,
         ForeignRedirection, false, ""},
        // An empty provider folder contains nothing, and returning compares
        // only with a provider folder.
        {"back from elsewhere, no provider folder", At("", other, "", false, true, false), K::Go,
         ForeignRedirection, false, ""},
        {"back from the cloud", At("", cloud, cloud, false, true, false), K::Go, nullptr, false,
         "back od\\tvn\\ i\\"},
        {"back, the installation without its marker", At("", cloud, cloud, false, false, false),
         K::Go, nullptr, false, ""},
        {"from the cloud into another installation", At(other, cloud, cloud, false, true, true),
         K::Go, nullptr, false, "into i\\ d:\\x\\"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Start start = DecideStart(row.facts);
        EXPECT_EQ(start.kind, row.kind);
        const std::string text = row.kind == K::Go ? start.warning.value_or("") : start.refusal;
        EXPECT_EQ(text, row.text ? row.text : "");
        EXPECT_EQ(start.offerProviderFolder, row.offerProviderFolder);
        EXPECT_EQ(Compared(start), row.compared);
    }
}

// Each answer to the comparison prompts, for both directions.
TEST(ConfigureDecisions, ComparisonPromptsAndAnswers) {
    enum Result { Copied, NotCopied, Stopped };
    enum Confirm { None, LessComplete, MoreComplete }; // the direction warning asked
    const Direction back = Direction::Returning;
    const Direction into = Direction::Moving;
    const Comparison first = Comparison::FirstMoreComplete;
    const Comparison second = Comparison::SecondMoreComplete;
    const Comparison each = Comparison::EachLacks;
    const char* const oneDriveHasMore =
        "OneDrive appears to have more data than the locally detected Tallyvane installation";
    const char* const selectedHasMore =
        "The selected data file location appears to have more data than OneDrive";
    const char* const selectedHasOther =
        "The selected data file location has existing Tallyvane data files";
    const char* const oneDriveHasOther = "OneDrive has existing Tallyvane data files";
    struct Row {
        Direction direction;
        Comparison comparison;
        const char* promptLine; // first line, or none
        TMsgDlgType type;
        int answer;
        Confirm confirm;
        int confirmAnswer;
        Result result;
    } rows[] = {
        {back, first, oneDriveHasMore, mtConfirmation, mrYes, None, 0, Copied},
        {back, first, oneDriveHasMore, mtConfirmation, mrNo, MoreComplete, mrYes, NotCopied},
        {back, first, oneDriveHasMore, mtConfirmation, mrNo, MoreComplete, mrNo, Stopped},
        {back, first, oneDriveHasMore, mtConfirmation, mrCancel, None, 0, Stopped},
        {back, second, selectedHasMore, mtConfirmation, mrYes, None, 0, NotCopied},
        {back, second, selectedHasMore, mtConfirmation, mrNo, LessComplete, mrYes, Copied},
        {back, second, selectedHasMore, mtConfirmation, mrNo, LessComplete, mrCancel, Stopped},
        {back, second, selectedHasMore, mtConfirmation, mrCancel, None, 0, Stopped},
        {back, each, selectedHasOther, mtWarning, mrYes, None, 0, Copied},
        {back, each, selectedHasOther, mtWarning, mrNo, MoreComplete, mrYes, NotCopied},
        {back, each, selectedHasOther, mtWarning, mrCancel, None, 0, Stopped},
        {into, first, selectedHasMore, mtConfirmation, mrYes, None, 0, Copied},
        {into, first, selectedHasMore, mtConfirmation, mrNo, MoreComplete, mrYes, NotCopied},
        {into, first, selectedHasMore, mtConfirmation, mrNo, MoreComplete, mrNo, Stopped},
        {into, first, selectedHasMore, mtConfirmation, mrCancel, None, 0, Stopped},
        {into, second, oneDriveHasMore, mtConfirmation, mrYes, None, 0, NotCopied},
        {into, second, oneDriveHasMore, mtConfirmation, mrNo, LessComplete, mrYes, Copied},
        {into, second, oneDriveHasMore, mtConfirmation, mrNo, LessComplete, mrNo, Stopped},
        {into, second, oneDriveHasMore, mtConfirmation, mrCancel, None, 0, Stopped},
        {into, each, oneDriveHasOther, mtWarning, mrYes, None, 0, Copied},
        {into, each, oneDriveHasOther, mtWarning, mrNo, MoreComplete, mrYes, NotCopied},
        {into, each, oneDriveHasOther, mtWarning, mrCancel, None, 0, Stopped},
        // The same records: no prompt, nothing copied; a stopped comparison
        // ends the command as a cancelled prompt does.
        {back, Comparison::Same, nullptr, mtWarning, 0, None, 0, NotCopied},
        {into, Comparison::Same, nullptr, mtWarning, 0, None, 0, NotCopied},
        {back, Comparison::Stopped, nullptr, mtWarning, 0, None, 0, Stopped},
        {into, Comparison::Stopped, nullptr, mtWarning, 0, None, 0, Stopped},
    };
    int number = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << number++);
        const AfterComparison after =
            DecideAfterComparison(row.direction, row.comparison, Provider::OneDrive);
        Result result = Stopped;
        Confirm asked = None;
        if (after.kind == AfterComparison::Kind::Ask) {
            ASSERT_TRUE(row.promptLine);
            EXPECT_TRUE(after.prompt.text.starts_with(row.promptLine)) << after.prompt.text;
            EXPECT_EQ(after.prompt.type, row.type);
            // Only where one copy is more complete is Yes the recommendation.
            EXPECT_EQ(after.prompt.recommendsYes, row.comparison != each);
            const AfterAnswer answer = DecideAfterAnswer(after.prompt, row.answer);
            if (answer.kind == AfterAnswer::Kind::Confirm)
                asked = answer.copyData ? LessComplete : MoreComplete;
            if (answer.kind == AfterAnswer::Kind::Configure ||
                (answer.kind == AfterAnswer::Kind::Confirm && row.confirmAnswer == mrYes))
                result = answer.copyData ? Copied : NotCopied;
        } else {
            EXPECT_FALSE(row.promptLine);
            if (after.kind == AfterComparison::Kind::Configure)
                result = after.copyData ? Copied : NotCopied;
        }
        EXPECT_EQ(asked, row.confirm);
        EXPECT_EQ(result, row.result);
    }
}

// Where sync conflict copies are looked for: the roots compared, else the
// one the run copies from, else none.
TEST(ConfigureDecisions, WhereConflictCopiesAreLookedFor) {
    const std::string I = "c:\\tvn\\", cloud = "c:\\od\\tvn\\", OD = "c:\\od\\";
    using Roots = std::vector<std::string>;
    struct Row {
        Facts facts;
        Roots roots;
    } rows[] = {
        {{I, cloud, "", OD, {}, false, true, true}, {I, cloud}},
        {{I, "", cloud, cloud, {}, false, true, false}, {cloud, I}},
        {{I, cloud, "", OD, {}, false, true, false}, {I}},
        {{I, "", cloud, "", {}, false, true, false, true}, {cloud}},
        // Back from a folder without a file: the data stays where it is.
        {{I, "", cloud, "", {}, false, true, false, false}, {}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(DecideStart(row.facts).conflictRoots, row.roots) << row.facts.newFolder;
}

TEST(ConfigureDecisions, ConflictCopiesPromptAndAnswers) {
    const std::string root = "c:\\od\\tvn\\";
    const char* const head = "The data folder \"c:\\od\\tvn\\Data\\\" holds sync conflict copies "
                             "with records that are missing from their month's file:\r\n";
    const char* const tail = "Merge these records into the month files first?\r\n(Recommended - "
                             "the month files and the copies are backed up first)";
    using Copies = std::vector<TVNConfigUtil::ConflictCopy>;
    Copies seven;
    for (int i = 1; i <= 7; ++i)
        seven.push_back({"2024-0" + std::to_string(i) + "-PC.txt", "", i});
    struct Row {
        Copies copies;
        bool stopped;
        const char* lines; // between head and tail; null: no prompt
    } rows[] = {
        {{{"pc.txt", "2024-01", 1}}, false, "pc.txt: 1 record\r\nTotal: 1 record\r\n"},
        {{{"a.txt", "", 0}, {"b.txt", "", 2}}, false, "b.txt: 2 records\r\nTotal: 2 records\r\n"},
        {seven, false,
         "2024-01-PC.txt: 1 record\r\n2024-02-PC.txt: 2 records\r\n2024-03-PC.txt: 3 records\r\n"
         "2024-04-PC.txt: 4 records\r\n2024-05-PC.txt: 5 records\r\nand 2 more copies: 13 "
         "records\r\nTotal: 28 records\r\n"},
        // All records in their month files already, or the look stopped.
        {{{"a.txt", "", 0}}, false, nullptr},
        {{{"b.txt", "", 2}}, true, nullptr},
    };
    for (const Row& row : rows) {
        TVNConfigUtil::ConflictFindings found{root, row.copies, 0, row.stopped};
        for (const auto& copy : row.copies)
            found.records += copy.records;
        const ConflictPrompt prompt = DecideConflictPrompt(found);
        EXPECT_EQ(prompt.ask, row.lines != nullptr);
        if (row.lines) {
            EXPECT_EQ(prompt.text, head + std::string(row.lines) + tail);
            EXPECT_EQ(prompt.type, mtConfirmation);
        }
    }
    EXPECT_EQ(DecideConflictAnswer(mrYes), ConflictAnswer::Merge);
    EXPECT_EQ(DecideConflictAnswer(mrNo), ConflictAnswer::GoOn);
    EXPECT_EQ(DecideConflictAnswer(mrCancel), ConflictAnswer::Stop);
}

TEST(ConfigureDecisions, TextsNameTheProviderSelected) {
    struct Row {
        const char* text;
        Provider provider;
        const char* shown;
    } rows[] = {
        {"DropBox has data; use DROPBOX?", Provider::OneDrive, "OneDrive has data; use OneDrive?"},
        {"Dropbox folder", Provider::Dropbox, "Dropbox folder"},
        {"a OneDrive folder", Provider::Dropbox, "a Dropbox folder"},
        {"no provider named", Provider::OneDrive, "no provider named"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ProviderText(row.text, row.provider), row.shown) << row.text;
}

} // namespace
