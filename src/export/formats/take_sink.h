// A file type of the export, as the take loop sees it. The loop calls begin once,
// then add for every finished take in the plan's order, then finish; or cancel when
// the export stops early (a take was being rendered: it never reaches the sink).
// A sink only writes: it never renders or reads back from the renderer, and counts in
// the report the files it meant to write and those it could not.
#pragma once

#include "export/takes/export_choices.h"
#include "export/takes/export_memory.h"
#include "export/takes/export_report.h"
#include "export/takes/finished_take.h"
#include "export/takes/take_plan.h"

class TakeSink {
public:
    virtual ~TakeSink() = default;
    // Names the files and makes room for them; false when none of them can be written
    // (each counted in the report), and the export then renders nothing. Sets the
    // name the dialog keeps (report.fileName) to the set's own file name.
    virtual bool begin(const ExportSettings &settings, const ExportPlan &plan, ExportMemory *memory,
                       ExportReport &report) = 0;
    virtual void add(const FinishedTake &take, ExportReport &report) = 0;
    // Instead of add, for a take that repeats the variation before it: the file it
    // would have had is not counted.
    virtual void drop(const PlannedTake &, ExportReport &report) { report.planned--; }
    // After the last take: the files are complete and closed, and counted.
    virtual void finish(ExportReport &report) = 0;
    // Instead of finish: what may stay stays, the rest is removed.
    virtual void cancel(ExportReport &report) = 0;
};
