/* The public header must stay usable from C, with the same record layout. */
#include "brenholt.h"

int brnHeaderCheckC(void);

int brnHeaderCheckC(void)
{
    brnItem item = {0};
    item.book.bookDay = 1; /* slot 3, seen by a patron card as registerYear */
    return (int)sizeof(item) + (int)sizeof(brnRawItem) + (int)item.patron.registerYear;
}
