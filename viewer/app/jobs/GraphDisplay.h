// Getting a graph window ready to be looked at after a load job: node sizes
// from the labels, the layout, the start node in sight.
#pragma once

#include <QString>

#include <functional>

class GraphWindow;

// Shows "Calculating the display..." through status while it works and puts
// back what was there before (unless the layout left a message of its own).
void PrepareGraphDisplay(GraphWindow& window, const std::function<void(const QString&)>& status,
                         const std::function<QString()>& statusText);

// Makes the window's MDI frame the active one and shows it.
void BringGraphWindowForward(GraphWindow& window);
