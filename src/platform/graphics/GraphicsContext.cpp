#include "platform/graphics/GraphicsContext.h"

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/QtGraphicsContext.h"

#include <vector>

namespace {

thread_local GraphicsContext* currentContext = nullptr;
thread_local std::vector<GraphicsContext*> savedContexts;

GraphicsContext::BitmapContextFactory& bitmapContextFactory()
{
    static GraphicsContext::BitmapContextFactory factory;
    return factory;
}

}

GraphicsContext* GraphicsContext::current()
{
    return currentContext;
}

void GraphicsContext::setCurrent(GraphicsContext* context)
{
    currentContext = context;
}

void GraphicsContext::saveGraphicsState()
{
    savedContexts.push_back(currentContext);
    if (currentContext)
        currentContext->saveState();
}

void GraphicsContext::restoreGraphicsState()
{
    if (savedContexts.empty())
        return;
    currentContext = savedContexts.back();
    savedContexts.pop_back();
    if (currentContext)
        currentContext->restoreState();
}

GraphicsContext::CurrentScope::CurrentScope(GraphicsContext& context)
{
    saveGraphicsState();
    setCurrent(&context);
}

GraphicsContext::CurrentScope::~CurrentScope()
{
    restoreGraphicsState();
}

std::unique_ptr<GraphicsContext> GraphicsContext::forBitmap(Bitmap& bitmap)
{
    if (bitmapContextFactory())
        return bitmapContextFactory()(bitmap);
    return QtGraphicsContext::create(bitmap);
}

void GraphicsContext::setBitmapContextFactory(BitmapContextFactory factory)
{
    bitmapContextFactory() = std::move(factory);
}
