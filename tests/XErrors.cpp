// Kept apart: Xlib's macros (None, Bool, Status...) clash with other headers.
#include <X11/Xlib.h>

namespace quorvel::test
{

static int ignoreXError (Display*, XErrorEvent*)
{
    return 0;
}

void ignoreXErrors()
{
    XSetErrorHandler (ignoreXError);
}

} // namespace quorvel::test
