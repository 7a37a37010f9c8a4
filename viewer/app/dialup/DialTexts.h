// The texts of dial-up control and of the "Configure Internet Connection"
// wizard ("&" marks the mnemonic letter).
#pragma once

#include <cstdint>

namespace dial_text {

constexpr char kLibraryMissing[] =
    "The library RASAPI32.DLL could not be loaded. Please install either Remote Access Service if you are "
    "using Windows NT, or install Dial Up Networking if you are using Windows 95.";
constexpr char kConnectError[] = "An error occured while trying to connect.";
constexpr char kEnumEntriesError[] = "Undefined RasEnumEntries Error.";
constexpr char kNoConnections[] =
    "You haven't defined any Connections in your system. Please see your operating system manual on how to "
    "set up your computer to connect with the Internet.";
constexpr char kSelectConnection[] = "You must select a connection from the list.";

// Wizard, page 1.
constexpr char kWizardTitle[] = "Configure Internet Connection";
constexpr char kModeQuestion[] = "Do you want Vantlow to connect and disconnect you from the Internet?";
constexpr char kModeNo[] = "No";
constexpr char kModeNoNote[] =
    "Either your computer is connected permanently to the Internet, or you want to connect and disconnect on "
    "your own.";
constexpr char kModeAlways[] = "Always";
constexpr char kModeAlwaysNote[] =
    "Vantlow will connect to the Internet every time it is downloading Information, and disconnect when done.";
constexpr char kModeScheduled[] = "Only when processing scheduled jobs";
constexpr char kModeScheduledNote[] =
    "Vantlow connects and disconnects only when it has to process a scheduled job at some later time.";

// Wizard, page 2.
constexpr char kConnectionQuestion[] = "Which connection do you want to use?";
constexpr char kAvailableConnections[] = "Available connections:";
constexpr char kLoginQuestion[] = "How do you have to login to the selected system?";
constexpr char kUseCurrentUser[] = "using current user's name and password.";
constexpr char kUserName[] = "Username:";
constexpr char kPassword[] = "Password:";
constexpr char kDomain[] = "Domain:";
constexpr char kFieldsNote[] = "Maybe not all of the three fields are required.";

// Buttons.
constexpr char kNext[] = "Next >";
constexpr char kPrevious[] = "< Previous";
constexpr char kFinish[] = "Finish";
constexpr char kCancel[] = "Cancel";
constexpr char kHelp[] = "Help";
constexpr char kWizardHelp[] =
    "Choose whether Vantlow dials a connection to the Internet before it loads, and which connection it "
    "dials. The password is stored in scrambled form in the configuration file.";

// The texts of the connection states, by state number.
const char* ConnectionStateText(uint32_t state);

}  // namespace dial_text
