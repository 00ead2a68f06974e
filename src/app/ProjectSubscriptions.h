#pragma once

namespace TW {

struct ControllerContext;

// Makes the window, the player and the timeline pictures follow the
// project's signals. Each reaction reads the context when it runs, so a
// player that replaces another is followed too; the connections live as
// long as the project and the controller.
void subscribeToProject(ControllerContext &context);

} // namespace TW
