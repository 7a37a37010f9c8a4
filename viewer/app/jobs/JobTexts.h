// The texts of the load-job windows ("&" marks the mnemonic letter; a
// literal "&" in a label is written "&&").
#pragma once

namespace job_text {

constexpr char kProgramName[] = "Vantlow";

// "Open a new Net location".
constexpr char kOpenNewTitle[] = "Open a new Net location";
constexpr char kOpenAnotherTitle[] = "Open another Net location";
constexpr char kUrlLabel[] = "URL to analyze (http://...)";
constexpr char kTextsOnlyQuestion[] = "Do you want to load the texts only?";
constexpr char kTextsOnly[] = "Load only &texts.";
constexpr char kEverything[] = "Load everything (including Pictures).";
constexpr char kShowGraphQuestion[] = "Show graph after loading?";
constexpr char kShowWithoutAsking[] = "Yes, with&out asking.";
constexpr char kAskFirst[] = "No, ask fi&rst.";
constexpr char kGoOnlineQuestion[] = "Do you want to go online?";
constexpr char kOnlineNo[] = "No.";
constexpr char kOnlineYes[] = "Yes.";
constexpr char kLimitsGroup[] = "Limitations on following hyperlinks:";
constexpr char kLevelsQuestion[] = "How many levels of hyperlinks do you want to follow?";
constexpr char kMaximum[] = "Maximum:";
// No further level on other computers: their links are drawn, not followed.
constexpr char kNoFurtherLevels[] = "None";
constexpr char kUnlimited[] = "Unlimited";
constexpr char kDirectoryQuestion[] =
    "Follow only hyperlinks to the same or lower directory levels on the start computer?";
constexpr char kOtherComputersQuestion[] = "Follow hyperlinks to computers other than the startcomputer?";
constexpr char kOtherLevelsQuestion[] = "How many levels of hyperlinks do you want to follow on other computers?";
constexpr char kYes[] = "Yes";
constexpr char kNo[] = "No";
constexpr char kExecuteNow[] = "E&xecute now";
constexpr char kExecuteDelayed[] = "Execute &delayed";
constexpr char kAddAnotherUrl[] = "Add &another URL";
constexpr char kCancel[] = "Cancel";
constexpr char kHelp[] = "Help";
constexpr char kNotNumeric[] = "Please enter a numeric value.";
constexpr char kNoUrl[] = "Please enter the URL to analyze.";
constexpr char kUrlControlCharacters[] = "The URL must not contain control characters.";
constexpr char kNetLocationHelp[] =
    "Enter the address of the web site to load and choose how far Vantlow follows its hyperlinks. "
    "\"Execute now\" loads at once, \"Execute delayed\" at a time you choose, \"Add another URL\" "
    "collects a further site for the same run.";

// Progress window.
constexpr char kPleaseWait[] = "Please wait while information is being received from the Internet.";
constexpr char kMessages[] = "Messages:";
constexpr char kLeft[] = "Left:";
constexpr char kDoneOfKnown[] = "%v of %m documents";
constexpr char kStop[] = "Stop";
constexpr char kOk[] = "OK";
constexpr char kReallyCancelLoading[] = "Do you really want to cancel loading?";
constexpr char kWaitForCurrentAction[] = "Please wait for the current action to be completed...";
constexpr char kSomeProblems[] = "Some problems occurred.";

// End-of-load window.
constexpr char kCanDisconnect[] =
    "You can now disconnect from the internet. The files have been stored in the proxy and can now be  read "
    "offline using your browser.";
constexpr char kStartBrowser[] = "Start &browser";
constexpr char kShowGraph[] = "Show &graph";
constexpr char kClose[] = "Close";
constexpr char kCloseHelp[] = "Close this window without showing graph.";
constexpr char kBrowserNotStarted[] = "The browser could not be started.";

// Start-time dialog.
constexpr char kTimeToStart[] = "Time to start the job?";
constexpr char kDay[] = "Day";
constexpr char kTime[] = "Time";
constexpr char kMustNotTerminate[] =
    "Please note: Vantlow must not be terminated in order to execute the delayed query.";
constexpr char kDateNotValid[] = "The entered date is not valid.";

// "Scheduled Load Job" window.
constexpr char kScheduledTitle[] = "Scheduled Load Job";
constexpr char kWillBeLoadedOn[] = "The following URLs will be loaded on ";
constexpr char kAt[] = " at ";
constexpr char kLineEnd[] = " .";
constexpr char kToCancelClose[] = "(To cancel the job, close this window.)";
constexpr char kReallyCancelScheduled[] = "Do you really want to cancel the scheduled job?";

// Running jobs.
constexpr char kCalculatingDisplay[] = "Calculating the display...";
constexpr char kBusy[] = "Vantlow is busy with another load job.";

}  // namespace job_text
