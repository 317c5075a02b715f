# Sourced by the demo and the screenshot scripts: the simulated enclosure they run on, one
# enclosure of model 4327 on port 1 of a USB controller's root hub (where the component's port
# walk finds it), whose drive E: is a host folder.
#   write_enclosure_rig RIGFILE FOLDER
enclosure_interface='\\?\usbstor#disk&ven_tovi&prod_usb_enclosure&rev_1.00#0001&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}'

write_enclosure_rig() {
  cat >"$1" <<RIG
[controller]
name = xhci
path = \\\\?\\pci#ven_1b2c&dev_0d0e#3&11583659&0&a0#{3abf6f2d-71c4-462a-8a92-1e6861e6af27}
root_hub = USB#ROOT_HUB20#4&2a1b3c4d&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}

[enclosure]
name = backup
usb_vendor_id = 0x1A2B
usb_product_id = 0x3C4D
model = 4327
sectors = 0x00100000
interface = $enclosure_interface
drive = E: $2
parent = xhci
port = 1
serial_number = 0001
RIG
}
