// Octave's SIGINT handler counts interrupts in octave_interrupt_state while
// a MEX call runs; the module lives in the same process and reads it. A
// negative value means Octave is already unwinding an earlier interrupt.
#include <octave/quit.h>

bool HostInterruptRequested()
{
    return octave_interrupt_state > 0;
}
