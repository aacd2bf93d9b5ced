#include "ConfigureDecisions.h"

#include "FileSystemText.h"
#include "PathRules.h"

using TVNConfigUtil::AsciiLowerCase;
using TVNConfigUtil::Comparison;
using TVNConfigUtil::CopySourceRoot;

namespace ConfigureDecisions {

namespace {

// Stored naming Dropbox; shown through ProviderText.
const char* const MsgProviderRoot =
    "Create a folder for Tallyvane within the Dropbox location first";
const char* const MsgUnchanged = "Tallyvane is already configured to use this location";
const char* const MsgForeignRedirection =
    "The locally detected Tallyvane installation uses redirection\r\n"
    "Dropbox configuration will over-write these settings\r\n"
    "Continue?";
const char* const PromptCloudMoreCompleteThanInstallation =
    "DropBox appears to have more data than the locally detected Tallyvane installation\r\n"
    "Do you wish to use the more complete files in DropBox?\r\n"
    "(Recommended - The utility will back up any Tallyvane data files at the locally detected "
    "installation before copying Dropbox files)";
const char* const PromptInstallationMoreCompleteThanCloud =
    "The selected data file location appears to have more data than DropBox\r\n"
    "Do you wish to use the more complete files in the selected data file location?\r\n"
    "(Recommended - No files will be copied from DropBox)";
const char* const PromptCloudAndInstallationEachLack =
    "The selected data file location has existing Tallyvane data files\r\n"
    "The utility will back up these files and copy DropBox files to the location\r\n"
    "Continue?";
const char* const PromptInstallationMoreCompleteThanNewLocation =
    "The selected data file location appears to have more data than DropBox\r\n"
    "Do you wish to use the more complete files in the selected data file location?\r\n"
    "(Recommended - The utility will back up any Tallyvane data files in DropBox before copying "
    "files from the selected file location)";
const char* const PromptNewLocationMoreCompleteThanInstallation =
    "DropBox appears to have more data than the locally detected Tallyvane installation\r\n"
    "Do you wish to use the more complete files in DropBox?\r\n"
    "(Recommended - No files will be copied from the locally detected Tallyvane location)";
const char* const PromptInstallationAndNewLocationEachLack =
    "DropBox has existing Tallyvane data files\r\n"
    "The utility will back up these files and copy the current Tallyvane installation files to "
    "the location\r\n"
    "Continue?";
// Around the data folder's name and the list of copies.
const char* const PromptConflictCopies[] = {
    "The data folder \"",
    "\" holds sync conflict copies with records that are missing from their month's file:\r\n",
    "Merge these records into the month files first?\r\n"
    "(Recommended - the month files and the copies are backed up first)"};
// The copies the prompt names one by one.
const size_t CopiesNamed = 5;

// Replaces every occurrence of word (ASCII letters, compared without regard
// to case) by replacement.
std::string ReplaceWordIgnoringCase(const std::string& text, const std::string& word,
                                    const std::string& replacement) {
    const std::string lowerText = AsciiLowerCase(text);
    const std::string lowerWord = AsciiLowerCase(word);
    std::string out;
    size_t pos = 0;
    for (;;) {
        const size_t hit = lowerText.find(lowerWord, pos);
        if (hit == std::string::npos)
            break;
        out.append(text, pos, hit - pos);
        out += replacement;
        pos = hit + word.size();
    }
    out.append(text, pos, std::string::npos);
    return out;
}

} // namespace

std::string ProviderText(const std::string& text, Provider provider) {
    std::string shown = text;
    const char* name = TVNConfigUtil::ProviderOf(provider).name;
    // The selected provider's own name keeps its spelling ("DropBox").
    for (const TVNConfigUtil::CloudProvider& other : TVNConfigUtil::Providers)
        if (other.client != provider)
            shown = ReplaceWordIgnoringCase(shown, other.name, name);
    return shown;
}

StatusLines DecideStatus(const StatusFacts& facts) {
    StatusLines lines;
    lines.installation = facts.installIsInstallation
                             ? "Tallyvane data files HAVE BEEN FOUND at a standard location."
                             : "Tallyvane data files have NOT BEEN FOUND at a standard location.";
    lines.configuredInProvider =
        TVNConfigUtil::LiesInside(facts.redirectFolder, facts.providerFolder);
    if (lines.configuredInProvider)
        lines.cloud = "Tallyvane IS configured to use a Dropbox location.";
    else if (facts.providerFolderExists)
        lines.cloud = "A Dropbox folder HAS BEEN FOUND at a standard location.";
    else if (!facts.redirectFolder.empty())
        lines.cloud = "An alternative data location IS configured, but it may not be being used "
                      "for a Cloud Drive.";
    else
        lines.cloud = "A Dropbox folder HAS NOT BEEN FOUND in a standard location.";
    lines.cloud = ProviderText(lines.cloud, facts.provider);
    return lines;
}

Start DecideStart(const Facts& facts) {
    Start start;
    if (!facts.newFolder.empty() && facts.newIsProviderFolder) {
        start.kind = Start::Kind::RefuseProviderFolder;
        start.refusal = ProviderText(MsgProviderRoot, facts.provider);
        return start;
    }
    // Both folders are in normal form: compared byte for byte.
    if (facts.newFolder == facts.redirectFolder) {
        start.kind = Start::Kind::RefuseUnchanged;
        start.refusal = ProviderText(MsgUnchanged, facts.provider);
        start.offerProviderFolder = facts.newFolder.empty();
        return start;
    }
    if (!facts.redirectFolder.empty() &&
        !TVNConfigUtil::LiesInside(facts.redirectFolder, facts.providerFolder))
        start.warning = ProviderText(MsgForeignRedirection, facts.provider);

    if (!facts.providerFolder.empty() && facts.newFolder.empty() && facts.installIsInstallation) {
        start.compare = true;
        start.direction = Direction::Returning;
        start.firstRoot = facts.redirectFolder;
        start.secondRoot = facts.installFolder;
    } else if (!facts.newFolder.empty() && facts.newIsInstallation) {
        start.compare = true;
        start.direction = Direction::Moving;
        start.firstRoot = facts.installFolder;
        start.secondRoot = facts.newFolder;
    }
    start.sourceRoot =
        CopySourceRoot(facts.installFolder, facts.redirectFolder, facts.redirectHasFiles);
    start.destinationRoot = facts.newFolder.empty() ? facts.installFolder : facts.newFolder;
    if (start.compare)
        start.conflictRoots = {start.firstRoot, start.secondRoot};
    else if (start.sourceRoot != start.destinationRoot)
        start.conflictRoots = {start.sourceRoot};
    return start;
}

ConflictPrompt DecideConflictPrompt(const TVNConfigUtil::ConflictFindings& found) {
    ConflictPrompt prompt;
    auto records = [](long long count) { return FileSystem::Counted(count, "record", "records"); };
    std::string lines;
    size_t named = 0, more = 0;
    long long moreRecords = 0;
    for (const TVNConfigUtil::ConflictCopy& copy : found.copies) {
        if (copy.records <= 0)
            continue;
        if (named++ < CopiesNamed) {
            lines += copy.name + ": " + records(copy.records) + "\r\n";
        } else {
            ++more;
            moreRecords += copy.records;
        }
    }
    if (found.stopped || named == 0)
        return prompt;
    if (more > 0)
        lines += "and " + std::to_string(more) + (more == 1 ? " more copy: " : " more copies: ") +
                 records(moreRecords) + "\r\n";
    lines += "Total: " + records(found.records) + "\r\n";
    prompt.ask = true;
    prompt.text = PromptConflictCopies[0] + TVNConfigUtil::DataFolderOf(found.root) +
                  PromptConflictCopies[1] + lines + PromptConflictCopies[2];
    return prompt;
}

ConflictAnswer DecideConflictAnswer(int modalResult) {
    return modalResult == mrYes  ? ConflictAnswer::Merge
           : modalResult == mrNo ? ConflictAnswer::GoOn
                                 : ConflictAnswer::Stop;
}

AfterComparison DecideAfterComparison(Direction direction, Comparison result, Provider provider) {
    AfterComparison after;
    const bool returning = direction == Direction::Returning;
    auto ask = [&](const char* text, TMsgDlgType type, bool yesCopies, bool recommendsYes) {
        after.kind = AfterComparison::Kind::Ask;
        after.prompt = Prompt{ProviderText(text, provider), type, yesCopies, recommendsYes};
    };
    switch (result) {
    case Comparison::Same:
        after.kind = AfterComparison::Kind::Configure;
        after.copyData = false;
        break;
    case Comparison::Stopped:
        // As if the prompt had been cancelled.
        after.kind = AfterComparison::Kind::Stop;
        break;
    case Comparison::FirstMoreComplete:
        ask(returning ? PromptCloudMoreCompleteThanInstallation
                      : PromptInstallationMoreCompleteThanNewLocation,
            mtConfirmation, true, true);
        break;
    case Comparison::SecondMoreComplete:
        ask(returning ? PromptInstallationMoreCompleteThanCloud
                      : PromptNewLocationMoreCompleteThanInstallation,
            mtConfirmation, false, true);
        break;
    case Comparison::EachLacks:
        ask(returning ? PromptCloudAndInstallationEachLack
                      : PromptInstallationAndNewLocationEachLack,
            mtWarning, true, false);
        break;
    }
    return after;
}

AfterAnswer DecideAfterAnswer(const Prompt& prompt, int modalResult) {
    // Yes gives the copy flag the prompt announces; No asks to confirm the
    // opposite direction; Cancel and the close button stop.
    if (modalResult == mrYes)
        return AfterAnswer{AfterAnswer::Kind::Configure, prompt.yesCopies};
    if (modalResult == mrNo)
        return AfterAnswer{AfterAnswer::Kind::Confirm, !prompt.yesCopies};
    return AfterAnswer{AfterAnswer::Kind::Stop, false};
}

} // namespace ConfigureDecisions
