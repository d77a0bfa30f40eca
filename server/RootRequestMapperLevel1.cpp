// Protocol level 1: telegrams marked qx_api=1, optionally enciphered, with
// file answers.

#include "RootRequestMapper.h"

// Not served yet: the dispatch has set the handler tag, and the request is
// answered with the default page until the branch is built.

void RootRequestMapper::answerLevel1(context_t& p_context)
{
    answerDefaultPage(p_context);
}
