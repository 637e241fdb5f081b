#pragma once

class QThreadPool;

namespace velmora {

// Threads for the blocking steps of a paste (reading a selection, sending the
// keys): apart from the shared pool, so bridge sends or a warm-up can never make
// a paste wait for a thread.
QThreadPool& textDeliveryPool();

} // namespace velmora
