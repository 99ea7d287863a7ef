// The Cancel beside "Connecting to …" (below the main window's pages and in Available Networks).
#pragma once

namespace wavory {

// Ends the user's running attempt and goes back to the connection there was before it (see
// CancelUserAttempt); a refusal of the adapter is shown. Interface thread.
void CancelJoinFromWindow();

}  // namespace wavory
