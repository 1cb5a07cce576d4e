#pragma once

#include <QIcon>
#include <QPixmap>

// Artwork drawn in code, so the program ships no image files.
// The program's icon: a red download arrow over a tray, 32 x 32 on
// transparency. Set on the application, it reaches every window.
QIcon programIcon();
// The server button's picture: a globe beside a monitor, 20 x 22 on light grey.
QPixmap serverButtonPicture();
