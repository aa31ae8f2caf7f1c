#pragma once

class QWidget;

namespace varrow {

// Moves a window so that it stands in the middle of its screen's free area.
void CentreOnScreen(QWidget* window);

} // namespace varrow
