// Command ids of the main menu, the tool box, the accelerators and the
// graph window's menus. The numbers are shared by every place a command can
// come from, so one dispatch serves them all.
#pragma once

namespace cmd {

// Graph commands of the canvas (its popup menu) and of the main window.
constexpr int kLoadGraph = 1;
constexpr int kStraightOn = 2;
constexpr int kStraightOff = 3;
constexpr int kOverlapDisplay = 4;
constexpr int kNewNode = 5;
constexpr int kSaveGraph = 13;
constexpr int kClearGraph = 14;
constexpr int kAnimationOn = 17;
constexpr int kAnimationOff = 23;

// Node popup menu.
constexpr int kRemove = 24;
constexpr int kCopyLocation = 132;
constexpr int kRemoveOutgoing = 133;
constexpr int kExpandUrl = 135;
constexpr int kShowInNewWindow = 136;
constexpr int kStartBrowser = 137;

// Main menu.
constexpr int kRearrange = 90;
constexpr int kMenuLayout = 100;
constexpr int kMenuFile = 101;
constexpr int kMenuWindow = 102;
constexpr int kOpenNetLocation = 103;
constexpr int kExit = 107;
constexpr int kStartOptimization = 110;
constexpr int kStopOptimization = 111;
constexpr int kCascade = 114;
constexpr int kTile = 115;
constexpr int kArrangeHorizontal = 116;
constexpr int kArrangeVertical = 117;
constexpr int kArrange = 118;
constexpr int kMenuHelp = 120;
constexpr int kAbout = 121;
constexpr int kAddNetLocation = 130;
constexpr int kMenuOptions = 138;
constexpr int kOverview = 139;
constexpr int kPageIndex = 155;
constexpr int kContentsDocking = 156;
constexpr int kClose = 158;
constexpr int kHelpContents = 262;
constexpr int kHelpSymbols = 263;
constexpr int kInternetConnection = 266;
constexpr int kHelpOnHelp = 267;
constexpr int kBrowser = 278;
constexpr int kProxyPages = 280;
constexpr int kOnlineHelp = 281;

}  // namespace cmd
