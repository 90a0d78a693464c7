# Run by CPack on the Windows archive it made: the archive is written again with its members in
# name order (CPack takes them in the order the file system lists them), each dated
# SOURCE_DATE_EPOCH, with its permissions and without the builder's user and group ids.
if(NOT CPACK_FLASHWELL_SOURCE_DATE_EPOCH)
  return()
endif()
foreach(_archive IN LISTS CPACK_PACKAGE_FILES)
  execute_process(
    COMMAND python3 -c [=[
import sys, time, zipfile
path, epoch = sys.argv[1], int(sys.argv[2])
stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip date cannot be before 1980
with zipfile.ZipFile(path) as old:
    members = sorted((info.filename, info.external_attr, old.read(info)) for info in old.infolist())
with zipfile.ZipFile(path, "w") as new:
    for name, attributes, data in members:
        info = zipfile.ZipInfo(name, stamp)
        info.create_system = 3
        info.external_attr = attributes
        info.compress_type = zipfile.ZIP_STORED if name.endswith("/") else zipfile.ZIP_DEFLATED
        new.writestr(info, data, compresslevel=9)
]=] ${_archive} ${CPACK_FLASHWELL_SOURCE_DATE_EPOCH}
    RESULT_VARIABLE _result)
  if(NOT _result EQUAL 0)
    message(FATAL_ERROR "could not write ${_archive} again in order")
  endif()
endforeach()
