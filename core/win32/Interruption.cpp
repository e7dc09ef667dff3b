// Windows half of InterruptionScope: a GUI program gets no console signals; a log-off or
// shutdown reaches it as window messages, which the dialog's own loop answers.
#include "Interruption.h"

namespace VXN {

InterruptionScope::InterruptionScope() : m_outermost(true) {}
InterruptionScope::~InterruptionScope() = default;

const char* InterruptionScope::Noted() const
{
    return nullptr;
}

bool Interrupted()
{
    return false;
}

} // namespace VXN
