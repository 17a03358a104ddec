/* The data model header must stay usable from C, with the same record layout. */
#include "brenholt_datamodel.h"

unsigned brnDataModelHeaderCheckC(void);

unsigned brnDataModelHeaderCheckC(void)
{
    brnDataModelInfo info = {0};
    info.elements[BRN_DM_MAX_ELEMENTS - 1].text[0] = 'x';
    return (unsigned)sizeof info + (unsigned)offsetof(brnDataModelInfo, elements) + (unsigned)info.elementCount;
}
