#include "GuiTestSupport.h"

#include "viewer/gui/BrowserDialog.h"

#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

TEST(BrowserDialogTest, ShowsTheKeyAndOkStoresTheEditedCommand) {
    TempDir dir;
    IniFile config(dir.File("vantlow.ini"));
    config.Write("General", "Browser", "firefox");
    BrowserDialog dialog(config);
    EXPECT_EQ(dialog.CommandField()->text(), "firefox");
    EXPECT_EQ(dialog.SearchButton()->text(), "Search...");
    dialog.CommandField()->setText("chromium --incognito ");
    dialog.accept();
    EXPECT_EQ(config.Read("General", "Browser"), "chromium --incognito");
    EXPECT_EQ(IniFile(dir.File("vantlow.ini")).Read("General", "Browser"), "chromium --incognito");
}

TEST(BrowserDialogTest, CancelLeavesTheKeyButAPickedProgramIsStoredAtOnce) {
    TempDir dir;
    IniFile config(dir.File("vantlow.ini"));
    config.Write("General", "Browser", "firefox");
    BrowserDialog dialog(config);
    dialog.CommandField()->setText("typed but cancelled");
    dialog.reject();
    EXPECT_EQ(config.Read("General", "Browser"), "firefox");

    BrowserDialog picking(config);
    QString startedAt;
    picking.pickProgram = [&](QWidget*, const QString& start) {
        startedAt = start;
        return QString("/opt/my browser/run");
    };
    picking.SearchButton()->click();
    EXPECT_EQ(startedAt, "firefox");
    // Quoted, so the path stays one word of the command.
    EXPECT_EQ(picking.CommandField()->text(), "\"/opt/my browser/run\"");
    EXPECT_EQ(config.Read("General", "Browser"), "\"/opt/my browser/run\"");
    picking.reject();
    EXPECT_EQ(config.Read("General", "Browser"), "\"/opt/my browser/run\"");
}
