// The windowed program's own texts: menus ("&" marks the mnemonic letter),
// messages, dialog titles and file filters. Named once, used everywhere.
#pragma once

namespace gui_text {

constexpr char kProgramName[] = "Vantlow";
constexpr char kVersionLine[] = "Version 1.0";
constexpr char kAboutText[] =
    "Loads whole web sites through the Quaylo proxy, so that they can be read offline in your browser, and "
    "draws each site as a graph of its documents and links.";

// Main menu.
constexpr char kMenuFile[] = "&File";
constexpr char kOpenNetLocation[] = "&Open a new Net location";
constexpr char kAddNetLocation[] = "&Add another Net location";
constexpr char kClose[] = "&Close";
constexpr char kOpenGraphFile[] = "Open &Graph File...";
constexpr char kSaveGraphFile[] = "Sa&ve Graph File...";
constexpr char kExit[] = "&Exit";
constexpr char kMenuLayout[] = "&Layout";
constexpr char kStartOptimization[] = "&Start Optimization";
constexpr char kStopOptimization[] = "St&op Optimization";
constexpr char kRearrange[] = "&Rearrange";
constexpr char kMenuOptions[] = "&Options";
constexpr char kOverview[] = "&Overview";
constexpr char kPageIndex[] = "&Page Index";
constexpr char kContentsDocking[] = "&Contents Docking";
constexpr char kInternetConnection[] = "&Internet connection...";
constexpr char kBrowser[] = "&Browser...";
constexpr char kProxy[] = "P&roxy...";
constexpr char kMenuWindow[] = "&Window";
constexpr char kCascade[] = "&Cascade";
constexpr char kTile[] = "&Tile";
constexpr char kArrangeHorizontal[] = "Arrange &horizontal";
constexpr char kArrangeVertical[] = "Arrange &vertical";
constexpr char kArrangeIcons[] = "Arrange &Icons";
constexpr char kMenuHelp[] = "&Help";
constexpr char kHelpContents[] = "&Contents";
constexpr char kHelpSymbols[] = "&Symbols";
constexpr char kHelpOnHelp[] = "&How to use Help";
constexpr char kOnlineHelp[] = "&WWW online help";
constexpr char kAbout[] = "&About Vantlow...";

// Node popup menu.
constexpr char kStartBrowser[] = "Start browser";
constexpr char kCopyLocation[] = "Copy location";
constexpr char kExpandUrl[] = "Expand URL...";
constexpr char kShowInNewWindow[] = "Show in new window";
constexpr char kRemove[] = "Remove";
constexpr char kRemoveOutgoing[] = "Remove this and all outgoing";

// Canvas popup menu (the graph commands of one window).
constexpr char kCanvasLoad[] = "Load Graph File...";
constexpr char kCanvasSave[] = "Save Graph File...";
constexpr char kCanvasStraightOn[] = "Straight Links";
constexpr char kCanvasStraightOff[] = "Routed Links";
constexpr char kCanvasOverlaps[] = "Show Overlaps";
constexpr char kCanvasNewNode[] = "New Node";
constexpr char kCanvasClear[] = "Clear Graph";
constexpr char kCanvasAnimationOn[] = "Animation On";
constexpr char kCanvasAnimationOff[] = "Animation Off";
constexpr char kCanvasLayout[] = "Layout";

constexpr char kNewNodeLabel[] = "New";

// Messages.
constexpr char kConfigureBrowser[] =
    "To view the selected page you need to configure your Web browser. Please enter the command to start it, "
    "or select the browser using the \"Search\" button.";
constexpr char kCloseDependents[] =
    "If you close this window, other dependend windows must be closed, too. Is that ok with you?";
constexpr char kQuitUnsaved[] = "These graphs have not been saved: %1. Quit all the same?";
constexpr char kBrowserNotStarted[] = "The browser could not be started.";
constexpr char kGraphFileUnreadable[] = "The graph file could not be read: ";
constexpr char kGraphFileTooLarge[] = "The graph file is too large to be shown: ";
constexpr char kGraphFileUnwritable[] = "The graph file could not be written: ";
constexpr char kGraphFileEmpty[] = "The graph file holds no graph: ";
constexpr char kTooManyNodesToAnimate[] = "The graph has too many nodes for the optimization.";
constexpr char kLayoutFailed[] = "The layout could not split every part of the graph.";
constexpr char kHelpMissing[] =
    "The help file '%1' is missing: the installation of Vantlow is incomplete. Install it again, or read the "
    "online help at %2.";
constexpr char kCommandNotAvailable[] = "This command is not available in this version.";
constexpr char kOverlapReport[] = "Overlapping nodes: %1, crossing links: %2";

// Browser dialog.
constexpr char kBrowserDialogTitle[] = "Browser";
constexpr char kBrowserLabel[] = "Browser:";
constexpr char kSearch[] = "Search...";
constexpr char kPickBrowser[] = "Please pick your Internet browser";
constexpr char kProgramsFilter[] = "Programs";
// Programs on this system carry no extension, so the filter shows every file.
constexpr char kProgramsPattern[] = "*";

// Graph file dialogs.
constexpr char kOpenGraphTitle[] = "Open a Graph File";
constexpr char kSaveGraphTitle[] = "Save the current Graph";
constexpr char kGraphFilesFilter[] = "Graph files (*.gra)";
constexpr char kZorvelFilter[] = "Zorvel Graph (*.zor)";
constexpr char kAllFilesFilter[] = "All Files (*.*)";

// Where the proxy's own pages and the online help are.
constexpr char kProxyPagesUrl[] = "http://quaylo/";
constexpr char kOnlineHelpUrl[] = "http://quaylo/help";

// Help window.
constexpr char kHelpTitle[] = "Vantlow Help";
constexpr char kHelpContentsButton[] = "Contents";
constexpr char kHelpSymbolsButton[] = "Symbols";
constexpr char kHelpBack[] = "Back";
constexpr char kHelpForward[] = "Forward";

// Tool box and panes.
constexpr char kToolBoxTitle[] = "Tool box";
constexpr char kOverviewTitle[] = "Overview";
constexpr char kPageIndexTitle[] = "Page Index";

}  // namespace gui_text
