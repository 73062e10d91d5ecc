// The run log.
#include "RunLog.h"

namespace besweet
{

bool RunLog::open(const std::string& path)
{
    const std::lock_guard lock(mutex_);
    file_.reset(std::fopen(path.c_str(), "w"));
    return file_ != nullptr;
}

void RunLog::line(std::string_view text)
{
    const std::lock_guard lock(mutex_);
    if (!file_)
        return;
    std::fwrite(text.data(), 1, text.size(), file_.get());
    std::fputc('\n', file_.get());
    std::fflush(file_.get());
}

} // namespace besweet
