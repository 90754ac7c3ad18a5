#include "linux/real_parts.h"

#include "form/real_form_parts.h"

namespace tavrek {

WindowParts realWindowParts()
{
    return WindowParts{realFormParts()};
}

} // namespace tavrek
