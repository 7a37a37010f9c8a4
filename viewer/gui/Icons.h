// The program's pictures, drawn in code so they need no image files: one
// icon per node kind, the tool box bitmaps, the window icon and the pin
// pointer of the marker zone.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QImage>

#include <array>

class NodeIcons {
public:
    static constexpr int kSize = 20;
    static constexpr int kKinds = 23;  // codes 0 to 22

    NodeIcons();
    // The icon of a kind code; codes without one of their own get code 0's.
    const QImage& Icon(int kind) const;
    QSize IconSize() const { return icons_[0].size(); }

private:
    std::array<QImage, kKinds> icons_;
    std::array<bool, kKinds> own_{};
};

// The bitmap of a tool box command (by command id); a null icon for others.
QIcon ToolIcon(int commandId);
QIcon WindowIcon();
QCursor PinCursor();
// The splash picture shown while the program starts.
QImage SplashImage();
