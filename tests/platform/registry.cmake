# The registry store: a real SQLite file per hive in a temporary folder.
tovrik_add_test(NAME platform_registry_store_test SOURCES RegistryStore_test.cpp
  LIBS tovrik_platform LABELS unit)
# Several processes writing one hive at once.
tovrik_add_test(NAME platform_registry_processes_test SOURCES RegistryProcesses_test.cpp
  LIBS tovrik_platform LABELS integration)
