# The core's folders under src/, lowest first: the one place that says which folder may use which.
# A file of a core folder includes headers of its own folder and of the folders before it only;
# every other folder under src/ (platform, ui, app, cli) stands above the whole core.
#   kccl      the driver-access library and the simulated adapter
#   base      shared services and the application object's base (flags, locks, statistics, settings)
#   driver    driver variables and lists, converters, adapters
#   profiles  the profile record and manager
#   survey    scanned stations and the station manager
#   monitor   the polling thread
#   shell     the application object: start-up, shutdown, main tick, tray tip
set(WAVORY_CORE_LAYERS kccl base driver profiles survey monitor shell)
