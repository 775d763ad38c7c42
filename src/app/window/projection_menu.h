#pragma once
// The output picture's sub-menu: the panorama strip or 360-degree video, the fill of
// the 2:1 frame and its horizon offset. The choices live in the session options, so
// they are saved with the settings like the other output choices.

#include <functional>

class QMenu;
class QWidget;

namespace corvinex {

struct SessionOptions;

// Adds the sub-menu to `parent`; its check marks follow `options` each time it opens.
// `options` must outlive the menu.
void AddProjectionMenu(QMenu* parent, SessionOptions& options, QWidget* dialogOwner,
                       std::function<void()> changed);

}  // namespace corvinex
