/* The same test driver, built a second time to carry a higher version (orvtest2_drv.rc). */
#include "orvtest_drv.c"
