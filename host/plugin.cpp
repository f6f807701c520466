// The plug-in file: the whole effect linked into one shared library. The link asks for the
// entry point, which pulls it and everything it needs out of the host layer's library.
#include "host/entry.h"
