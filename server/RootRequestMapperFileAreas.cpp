// The upload area, the firmware area, the data generator and the IFF
// endpoint.

#include "RootRequestMapper.h"

// Not served yet: the dispatch has set the handler tag, and the request is
// answered with the default page until the branch is built.

void RootRequestMapper::answerUpload(context_t& p_context)
{
    answerDefaultPage(p_context);
}

void RootRequestMapper::answerFirmwareGet(context_t& p_context)
{
    answerDefaultPage(p_context);
}

void RootRequestMapper::answerFirmwareReflect(context_t& p_context)
{
    answerDefaultPage(p_context);
}

void RootRequestMapper::answerGenerator(context_t& p_context)
{
    answerDefaultPage(p_context);
}

void RootRequestMapper::answerIff(context_t& p_context)
{
    answerDefaultPage(p_context);
}
