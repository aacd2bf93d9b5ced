// What the Configure command refuses, asks and does, apart from any window or
// disk: the front end (the window, or the command line) reads the values and
// the answers of a few disk checks, asks the questions in its own way
// (dialogs, or switches and exit codes) and runs the work these rules name.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Completeness.h"
#include "ConflictCopies.h"
#include "Dialogs.h"
#include "Providers.h"

namespace ConfigureDecisions {

// A provider of the table in Providers.h (never None here).
using Provider = TVNConfigUtil::SyncClient;

// The texts are stored naming one provider (as "Dropbox" or "DropBox", say);
// shown, they name the provider selected.
std::string ProviderText(const std::string& text, Provider provider);

// What the command reads before it decides. Folders are in normal form
// (lower-case, ending with a backslash, or empty).
struct Facts {
    std::string installFolder;  // the installation
    std::string newFolder;      // where the data is to live; empty for the standard location
    std::string redirectFolder; // the installation's redirection, as read at start-up
    std::string providerFolder; // the selected provider's folder, or the redirection inside it
    Provider provider = Provider::OneDrive;
    // The answers of the disk checks the rules need.
    bool newIsProviderFolder = false;   // the new folder is the provider's own folder
    bool installIsInstallation = false; // the installation folder holds its marker file
    bool newIsInstallation = false;     // the new folder holds an installation's marker file
    bool redirectHasFiles = false;      // the redirection's folder holds a file
};

// The window's two status lines, which the command line's status prints too.
struct StatusFacts {
    bool installIsInstallation = false; // the installation folder holds its marker file
    std::string redirectFolder;         // normal form, or empty
    std::string providerFolder; // the selected provider's folder, or the redirection inside it
    bool providerFolderExists = false;
    Provider provider = Provider::OneDrive;
};
struct StatusLines {
    std::string installation, cloud;
    // The redirection lies in the provider's folder: returning to the
    // standard location is offered.
    bool configuredInProvider = false;
};
StatusLines DecideStatus(const StatusFacts& facts);

// The facts of a command, with the answers of the disk checks found: the one
// part of these rules that reads the disk (ConfigureFacts.cpp), so that the
// window and the command line ask the same checks.
Facts CheckFacts(const std::string& installFolder, const std::string& newFolder,
                 const std::string& redirectFolder, const std::string& providerFolder,
                 Provider provider);

// Which way the data goes when the two places are compared.
enum class Direction {
    Returning, // from the redirection back to the installation folder
    Moving,    // from the installation's data to a new folder that holds an installation
};

// The first decision: refuse, or go on, after an optional warning, with or
// without a comparison.
struct Start {
    enum class Kind {
        RefuseProviderFolder, // the provider's own folder: say so, then open the folder browser
        RefuseUnchanged,      // the location in use already: say so
        Go,
    };
    Kind kind = Kind::Go;
    // The refusal's error text, for the provider selected.
    std::string refusal;
    // With RefuseUnchanged and the standard location: show the selected
    // provider's own folder in the cloud field, so that the next press works
    // with a location the user can see and browse from.
    bool offerProviderFolder = false;
    // A redirection this utility did not make is to be replaced: only an
    // explicit Yes to this warning goes on.
    std::optional<std::string> warning;
    // The two roots to compare (first, second), and which way the data would
    // go; without a comparison the data is copied.
    bool compare = false;
    Direction direction = Direction::Moving;
    std::string firstRoot, secondRoot;
    // The roots whose data folders are looked at for sync conflict copies
    // before the comparison, or before the run where there is none: the two
    // compared, else the one the run copies from, else none.
    std::vector<std::string> conflictRoots;
    // Where a run copies the data from and to: decided here, once, and
    // handed to the run.
    std::string sourceRoot, destinationRoot;
};
Start DecideStart(const Facts& facts);

// The question that sync conflict copies found in one root ask, if any: only
// copies that hold records their month file lacks are offered.
struct ConflictPrompt {
    bool ask = false;
    std::string text;
    TMsgDlgType type = mtConfirmation;
};
ConflictPrompt DecideConflictPrompt(const TVNConfigUtil::ConflictFindings& found);

// Yes merges and the command goes on, No goes on without merging, Cancel and
// the close button stop with nothing changed.
enum class ConflictAnswer { Merge, GoOn, Stop };
ConflictAnswer DecideConflictAnswer(int modalResult);

// The question a comparison's result asks.
struct Prompt {
    std::string text; // for the provider selected
    TMsgDlgType type = mtConfirmation;
    bool yesCopies = true; // the copy flag that Yes gives
    // Whether the prompt recommends Yes: where one copy is more complete. A
    // prompt where each copy lacks records of the other recommends nothing.
    bool recommendsYes = true;
};

// After the comparison: configure with a copy flag, ask the prompt, or stop.
struct AfterComparison {
    enum class Kind { Configure, Ask, Stop };
    Kind kind = Kind::Stop;
    bool copyData = false; // with Configure
    Prompt prompt;         // with Ask
};
AfterComparison DecideAfterComparison(Direction direction, TVNConfigUtil::Comparison result,
                                      Provider provider);

// An answer to the prompt: configure, confirm the other direction first
// (ConfirmCopyDirection with copyData, which is then the copy flag when the
// user agrees), or stop.
struct AfterAnswer {
    enum class Kind { Configure, Confirm, Stop };
    Kind kind = Kind::Stop;
    bool copyData = false;
};
AfterAnswer DecideAfterAnswer(const Prompt& prompt, int modalResult);

} // namespace ConfigureDecisions
