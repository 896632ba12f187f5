#include "simulator/StateStore.h"

#include "simulator/FileLock.h"
#include "simulator/SimFiles.h"
#include "simulator/SimStateParser.h"

namespace vesk2sim
{

StateStore::StateStore (std::string statePath)
    : path (std::move (statePath))
{
}

std::string StateStore::pathFromEnvironment()
{
    auto fromEnvironment = getEnvironment ("VESK2_SIM_STATE");
    return fromEnvironment && ! fromEnvironment->empty() ? *fromEnvironment : defaultStatePath();
}

StateStore::Loaded StateStore::load() const
{
    Loaded loaded;
    loaded.state = SimState::makeDefault();
    std::string text, error;

    switch (readWholeFile (path, text, error))
    {
        case ReadOutcome::missing:
            loaded.missing = true;
            break;

        case ReadOutcome::failed:
            loaded.error = error;
            break;

        case ReadOutcome::read:
        {
            auto parsed = parse (text);

            if (parsed.state)
                loaded.state = std::move (*parsed.state);
            else
                loaded.error = path + ": " + parsed.error;

            break;
        }
    }

    return loaded;
}

StateStore::UpdateResult StateStore::update (const std::function<bool (SimState&)>& change) const
{
    UpdateResult result;
    FileLock lock (path + ".lock");

    if (! lock.isLocked())
    {
        result.outcome = UpdateResult::Outcome::writeFailed;
        result.error = lock.getError();
        return result;
    }

    auto loaded = load();

    if (! loaded.error.empty())
    {
        result.outcome = UpdateResult::Outcome::unreadable;
        result.error = loaded.error;
        return result;
    }

    if (! change (loaded.state))
        return result;

    if (! replaceFileAtomically (path, format (loaded.state), result.error))
    {
        result.outcome = UpdateResult::Outcome::writeFailed;
        return result;
    }

    result.outcome = UpdateResult::Outcome::written;
    return result;
}

StateStore::UpdateResult StateStore::overwrite (const SimState& state) const
{
    UpdateResult result;
    FileLock lock (path + ".lock");

    if (! lock.isLocked())
    {
        result.outcome = UpdateResult::Outcome::writeFailed;
        result.error = lock.getError();
    }
    else if (! replaceFileAtomically (path, format (state), result.error))
    {
        result.outcome = UpdateResult::Outcome::writeFailed;
    }
    else
    {
        result.outcome = UpdateResult::Outcome::written;
    }

    return result;
}

} // namespace vesk2sim
