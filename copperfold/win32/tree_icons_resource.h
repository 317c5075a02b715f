#pragma once
// The icons of the trees: one 192 x 16 strip of twelve 16 x 16 pictures, 16 colours, magenta
// transparent (drawn by tools/make_tree_icons.py, which lists them).

#define IDB_TREE_ICONS 150

#define TREE_ICON_WIDTH 16
#define TREE_ICON_COUNT 12
#define TREE_ICON_TRANSPARENT RGB(255, 0, 255)
