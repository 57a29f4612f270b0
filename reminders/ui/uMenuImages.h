#pragma once
// The command pictures of the menus, the toolbar and the list (image list imlMenus), drawn by
// the program so no picture files are needed: 0 help, 1 add (and one-time reminder), 2 remove,
// 3 edit, 4 recurring reminder.

#include <QIcon>

class TVNTRMenuImages {
public:
    static constexpr int Help = 0;
    static constexpr int Add = 1;
    static constexpr int Remove = 2;
    static constexpr int Edit = 3;
    static constexpr int Recurring = 4;
    static constexpr int ImageCount = 5;

    // Image `index`; an index outside 0 .. 4 gives an empty icon.
    static QIcon Icon(int index);
};
