# Installs the Python component into a scratch root (DESTDIR) and uses the package from there:
# cmake --install must put down all of it, the extension and the pure-Python part.
#   cmake -DBUILD_DIR=... -DROOT=... -DPACKAGE_DIR=<site folder it goes to> -DPYTHON=...
#         -P install_check.cmake
file(REMOVE_RECURSE ${ROOT})
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${ROOT} ${CMAKE_COMMAND} --install ${BUILD_DIR}
                        --component python
                RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "cmake --install --component python failed")
endif()
set(check [=[
import os, sys
import panelgrab, panelgrab.pytest_plugin
root = sys.argv[1]
assert panelgrab.__file__.startswith(root), panelgrab.__file__
folder = os.path.dirname(panelgrab.__file__)
for name in ("_native.pyi", "py.typed", "errors.py"):
    assert os.path.isfile(os.path.join(folder, name)), name
with panelgrab.open("sim", fast_timing=True) as phone:
    assert phone.grab().width == 176
print("installed in", folder)
]=])
execute_process(COMMAND ${CMAKE_COMMAND} -E env PYTHONPATH=${ROOT}${PACKAGE_DIR}
                        ${PYTHON} -c "${check}" ${ROOT}
                RESULT_VARIABLE failed)
file(REMOVE_RECURSE ${ROOT})
if(failed)
    message(FATAL_ERROR "the installed package does not work")
endif()
